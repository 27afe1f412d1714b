// What the page asks of the core: saving a song file, finding the keyboard, its slots, sending and deleting.
// Everything here is plain C++ over the installed MIDI driver and clock, so native tests drive it over the
// virtual link; web/core/bindings.cpp only turns these calls into exports the page's scripts can reach.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "base/message_table.h"
#include "transfer/families.h"
#include "transfer/keyboard_search.h"
#include "transfer/progress.h"
#include "transfer/send_plan.h"
#include "transfer/send_prompts.h"

namespace su::web {

using Bytes = std::vector<std::uint8_t>;

// The page's questions and messages: modal dialogs the user must answer or acknowledge.
class PageDialogs {
 public:
  virtual ~PageDialogs() = default;
  // A Yes/No question; true for Yes.
  virtual bool Ask(const std::string& text) = 0;
  // A message with OK.
  virtual void Tell(const std::string& text) = 0;
};

// The text of string-table entry `number` as the product has it; "" for a number it does not have.
using su::MessageText;
// The text a failure caught from the core is shown with: the raised message, the keyboard's error code in
// message 53, or message 44 for anything unforeseen.
std::string FailureText(std::exception_ptr failure);
// The number of the message FailureText shows: the raised one, 53 for a keyboard's error code, else 44.
int FailureNumber(std::exception_ptr failure);

// The song file that the Save choice writes for `midi` (a file named `fileName`): the converter's output
// kind "5" with no keyboard named, made in memory. Raises message 43 (not a usable MIDI file, or larger than
// the converter takes) or 44 as the save does.
Bytes ConvertToSongFile(const std::string& fileName, const Bytes& midi);
// The name the save proposes: the song's base name with ".sq2".
std::string SongFileName(const std::string& fileName);

// What a chosen song is and what it takes on a keyboard, shown before anything is sent.
struct SongMeasure {
  std::uint16_t trackCount = 0;
  std::uint64_t noteCount = 0;
  std::uint64_t lengthMs = 0;  // by the song's tempo map
  std::uint32_t size = 0;      // the converted song's bytes, as a send hands them to the keyboard
};

// Reads and converts `midi` as soon as it is chosen, with the converter's default model code (no keyboard
// named yet). Raises message 43 for what is not a usable MIDI file, as the Save choice would.
SongMeasure MeasureSong(const std::string& fileName, const Bytes& midi);

// One progress bar for a whole plan: every song's blocks, and the reading of the slots at the end, fill their
// own equal share of one run of `bar`, which never goes back; the bar is begun at once and cleared by the
// holder once the plan has ended. The status line and the final check's "Cancel" pass through as they are.
class WholePlanProgress : public TransferProgress, public PlanProgress {
 public:
  static constexpr int kShare = 100;  // steps of the bar per song
  WholePlanProgress(TransferProgress& bar, PlanProgress& songs, std::size_t count);
  void Begin(int total) override;
  void Step() override;
  void Clear() override {}  // each song's end; the bar runs on over the plan
  void Status(int message) override { bar_.Status(message); }
  int* OpenCheckingWait() override { return bar_.OpenCheckingWait(); }
  void CloseCheckingWait() override { bar_.CloseCheckingWait(); }
  void SongBegins(std::size_t index, std::size_t ordinal, std::size_t count) override;
  void SongStored(std::size_t index) override;

 private:
  TransferProgress& bar_;
  PlanProgress& songs_;
  int segment_ = 0;  // the share being filled: a song's, then the reading's
  int total_ = 0;
  int done_ = 0;
  int shown_ = 0;
};

// The MIDI ports the driver offers, by number.
struct PortLists {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
};
PortLists ReadPortLists();

// The pair of ports chosen without asking, as the command line chooses it (midi/port_choice.h). false when the
// user must choose.
bool DefaultPortPair(const PortLists& lists, std::int32_t* in, std::int32_t* out);
// The user's remembered pair when both names are still offered (each by exactly one port), else the default
// pair. false when the user must choose.
bool ChoosePortPair(const PortLists& lists, const std::string& rememberedIn, const std::string& rememberedOut,
                    std::int32_t* in, std::int32_t* out);

// The keyboard found behind a pair of ports.
struct Found {
  std::int32_t modelType = -1;
  char family = 0;
  std::vector<std::string> labels;  // the slots as the family numbers them
};

// One keyboard session: its ports stay open between the page's steps until Close (or the next Connect).
// Every call raises what the exchanges raise (RaisedMessage, APP_EXCEPTION); the session stays usable.
class PageSession {
 public:
  ~PageSession();

  // Opens ports `in` and `out`, then the keyboard search: the identity request and both probes (type 22 only
  // when asked), each attempt one step of `progress`, the keyboard last found on these ports first when
  // `memory` remembers one. Raises message 32 when the ports cannot be opened and message 34 when no keyboard
  // answered.
  Found Connect(std::int32_t in, std::int32_t out, bool type22, SearchProgress& progress,
                const SearchMemory& memory = {});
  bool Connected() const { return family_ != nullptr; }

  Listing List(TransferProgress& progress);
  // The total of stored songs in whole kilobytes as the family's dialog shows it.
  std::string TotalText(const Listing& listing) const;
  // Converts `midi` for the keyboard found and sends it into `slot` (an index into Found::labels) as a plan
  // of one: the room check and replace question, "Complete!" when the reading after shows the song stored.
  // Returns how the send ended; raises the plan's failure when the song was not stored.
  SendOutcome Send(std::size_t slot, const std::string& fileName, const Bytes& midi, TransferProgress& progress,
                   PageDialogs& dialogs);
  // Converts `midi` for the keyboard found: the song as a send of it goes out, whose size is what it takes.
  Bytes ImageFor(const std::string& fileName, const Bytes& midi) const;
  // Plans songs (each a file name and its size for this keyboard) into the slots of the last reading: from
  // slot `first` on (it, then the next empty slots), or the empty slots in order when `first` is negative.
  // Raises message 42 when no reading of the slots is at hand or `first` is not a slot.
  SendPlan Plan(const std::vector<PlannedSong>& songs, long first) const;
  // The one question asked before a plan replaces stored songs: message 39 and the slots it would replace;
  // "" when it replaces none.
  std::string ReplaceQuestion(const SendPlan& plan) const;
  // Sends the songs of `plan` that fit (`images` in the plan's order), after the one replace question when
  // there is one (No: nothing is sent and the outcome says declined), over one bar of `progress` for the
  // whole; says "Complete!" when every song that fits was stored. The slots as read at the end are the last
  // reading (none when that reading failed: the page must read them again).
  PlanOutcome SendAll(const SendPlan& plan, const std::vector<Bytes>& images, TransferProgress& progress,
                      PageDialogs& dialogs, PlanProgress& songs);
  // Whether the last reading shows the song of `fileName` (`size` bytes as converted for this keyboard) in
  // `slot` by the rule every fate follows: its size, and its name where the family keeps one. A page mark of
  // "stored" lasts only while this holds; false when no reading is at hand.
  bool ShowsSong(std::size_t slot, const std::string& fileName, std::uint32_t size) const;
  // Asks message 49, deletes the song in `slot` and says "Complete to delete."; false when answered No or the
  // slot holds no song.
  bool Delete(std::size_t slot, PageDialogs& dialogs);
  void Close();
  // The slots as last read (none when the last reading failed or a send could not read them after).
  const Listing& LastListing() const { return listing_; }
  // The family of the keyboard found; nullptr when none is connected.
  const FamilyEntry* Family() const { return family_; }

 private:
  const FamilyEntry* family_ = nullptr;
  KeyboardSlots slots_;  // the keyboard found, as its family addresses it
  std::size_t slotCount_ = 0;
  Listing listing_;  // the last reading of the slots
};

}  // namespace su::web
