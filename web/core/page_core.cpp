#include "web/core/page_core.h"

#include <algorithm>
#include <stdexcept>

#include "base/errors.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "converter/file_name.h"
#include "converter/midi_file.h"
#include "converter/song_convert.h"
#include "converter/song_facts.h"
#include "base/screen.h"
#include "midi/port_choice.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/slot_list.h"

namespace su::web {

namespace {

// The screen the shared conversion step talks to: the page shows no converting box (the conversion takes a
// moment at most); texts come from the product's table.
class PageScreen : public Screen {
 public:
  std::string Text(int number) override { return MessageText(number); }
  int Ask(WindowRef, const std::string&, BoxKind kind) override { return kind == BoxKind::YesNo ? kAnswerNo : kAnswerOk; }
  void ShowConvertingBox() override {}
  void CloseConvertingBox() override {}
};

// The page's screen for the length of one call, the one before it put back afterwards.
class ScreenScope {
 public:
  ScreenScope() {
    try {
      previous_ = &TheScreen();
    } catch (const std::logic_error&) {
      // No screen installed yet.
    }
    SetScreen(&screen_);
  }
  ~ScreenScope() { SetScreen(previous_); }
  ScreenScope(const ScreenScope&) = delete;
  ScreenScope& operator=(const ScreenScope&) = delete;

 private:
  PageScreen screen_;
  Screen* previous_ = nullptr;
};

// Only the file's own name counts; a browser gives no folders, a test might.
std::string OwnName(const std::string& fileName) { return fileName.substr(fileName.find_last_of("/\\") + 1); }

// The converter's work on the song in memory, as the Save choice (a song file) and a send (the image for the
// identified keyboard) run it: the title falls back to the file's name without its extension, as when the
// converter reads the song from a file of that name. Raises message 43 for what is not a usable MIDI file
// (too large included) and 44 for any other failure.
Bytes Convert(const std::string& fileName, const Bytes& midi, conv::SongOutput output, const std::string& modelCode,
              const std::string& modelInfo) {
  if (midi.size() > conv::kMaxMidiBytes) RaiseMessage(IDS_FILE_BROKEN);
  std::string name = OwnName(fileName);
  if (name.empty()) name = "song.mid";
  conv::SongInfo info;
  info.modelCode = modelCode;
  info.modelInfo = modelInfo;
  info.padToWords = conv::IsWordModel(modelCode);
  Bytes song;
  const conv::BuildResult built =
      conv::BuildSong(midi.data(), midi.size(), conv::TitleFromPath(name, conv::kMaxTitleLength, conv::SystemLeadByte),
                      output, &info, &song);
  if (built == conv::BuildResult::NotMidi) RaiseMessage(IDS_FILE_BROKEN);
  if (built != conv::BuildResult::Built) RaiseMessage(IDS_FILE_ERROR);
  return song;
}

// The name a song is sent under, as a family keeps it: the file's own name without its extension.
std::string SongNameOf(const std::string& fileName) {
  std::string name = OwnName(fileName);
  if (name.empty()) name = "song.mid";
  return SplitPath(name).name;
}

// The line of songs a plan of one reports to: a single send names no song.
class NoSongLines : public PlanProgress {
 public:
  void SongBegins(std::size_t, std::size_t, std::size_t) override {}
  void SongStored(std::size_t) override {}
};

}  // namespace

std::string FailureText(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const RaisedMessage& raised) {
    return su::FailureText(raised);
  } catch (const APP_EXCEPTION& error) {
    return su::FailureText(error);
  } catch (const SongNotShown&) {
    // The keyboard acknowledged the song, yet its slot does not show it.
    return MessageText(IDS_DATA_NOT_FOUND);
  } catch (const SongUnconfirmed&) {
    // The slot shows what it held before, and the keyboard never said it took the song.
    return MessageText(IDS_DATA_NOT_FOUND);
  } catch (...) {
    // A fault of ours (out of memory included) is reported as the run sequence reports one: a file error.
    return MessageText(IDS_FILE_ERROR);
  }
}

int FailureNumber(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const RaisedMessage& raised) {
    return ShownFailure(raised.number);
  } catch (const APP_EXCEPTION&) {
    return IDS_ERROR_CODE;
  } catch (const SongNotShown&) {
    return IDS_DATA_NOT_FOUND;
  } catch (const SongUnconfirmed&) {
    return IDS_DATA_NOT_FOUND;
  } catch (...) {
    return IDS_FILE_ERROR;
  }
}

Bytes ConvertToSongFile(const std::string& fileName, const Bytes& midi) {
  // As the Save choice does it: before any keyboard is asked, so no model is named.
  return Convert(fileName, midi, conv::SongOutput::SongFile, "", "");
}

std::string SongFileName(const std::string& fileName) {
  return SplitPath(OwnName(fileName)).name + ".sq2";
}

SongMeasure MeasureSong(const std::string& fileName, const Bytes& midi) {
  if (midi.size() > conv::kMaxMidiBytes) RaiseMessage(IDS_FILE_BROKEN);
  conv::SongFacts facts;
  if (conv::ReadSongFacts(midi.data(), midi.size(), &facts) != conv::MidiError::None) RaiseMessage(IDS_FILE_BROKEN);
  ScreenScope screen;
  SongMeasure measure;
  measure.trackCount = facts.trackCount;
  measure.noteCount = facts.noteCount;
  measure.lengthMs = facts.lengthMs;
  measure.size = static_cast<std::uint32_t>(Convert(fileName, midi, conv::SongOutput::Image, "", "").size());
  return measure;
}

WholePlanProgress::WholePlanProgress(TransferProgress& bar, PlanProgress& songs, std::size_t count)
    : bar_(bar), songs_(songs) {
  // One share per song and one for the reading of the slots at the end.
  bar_.Begin(static_cast<int>(count + 1) * kShare);
}

void WholePlanProgress::Begin(int total) {
  total_ = total;
  done_ = 0;
}

void WholePlanProgress::Step() {
  if (total_ <= 0) return;
  if (done_ < total_) ++done_;
  const int target = segment_ * kShare + static_cast<int>(static_cast<long long>(done_) * kShare / total_);
  for (; shown_ < target; ++shown_) bar_.Step();
}

void WholePlanProgress::SongBegins(std::size_t index, std::size_t ordinal, std::size_t count) {
  segment_ = static_cast<int>(ordinal) - 1;
  total_ = done_ = 0;
  songs_.SongBegins(index, ordinal, count);
}

void WholePlanProgress::SongStored(std::size_t index) {
  // What comes next (the next song, or the reading at the end) fills the next share.
  ++segment_;
  total_ = done_ = 0;
  songs_.SongStored(index);
}

PortLists ReadPortLists() {
  MidiDriver& driver = TheDriver();
  PortLists lists;
  for (std::uint32_t i = 0, n = driver.InDeviceCount(); i < n; ++i) {
    std::string name;
    driver.InDeviceName(static_cast<std::int32_t>(i), &name);
    lists.inputs.push_back(name);
  }
  for (std::uint32_t i = 0, n = driver.OutDeviceCount(); i < n; ++i) {
    std::string name;
    driver.OutDeviceName(static_cast<std::int32_t>(i), &name);
    lists.outputs.push_back(name);
  }
  return lists;
}

bool DefaultPortPair(const PortLists& lists, std::int32_t* in, std::int32_t* out) {
  // The command line's default (midi/port_choice.h): the one device with an input and an output, or the only
  // input and output there are. Anything else is for the user to choose.
  const PortChoice choice = su::ChoosePortPair(lists.inputs, lists.outputs, "", "");
  if (choice.error != PortChoiceError::None) return false;
  *in = choice.in;
  *out = choice.out;
  return true;
}

bool ChoosePortPair(const PortLists& lists, const std::string& rememberedIn, const std::string& rememberedOut,
                    std::int32_t* in, std::int32_t* out) {
  auto only = [](const std::vector<std::string>& names, const std::string& wanted) -> std::int32_t {
    if (wanted.empty() || std::count(names.begin(), names.end(), wanted) != 1) return -1;
    return static_cast<std::int32_t>(std::find(names.begin(), names.end(), wanted) - names.begin());
  };
  const std::int32_t keptIn = only(lists.inputs, rememberedIn);
  const std::int32_t keptOut = only(lists.outputs, rememberedOut);
  if (keptIn >= 0 && keptOut >= 0) {
    *in = keptIn;
    *out = keptOut;
    return true;
  }
  return DefaultPortPair(lists, in, out);
}

PageSession::~PageSession() { Close(); }

Found PageSession::Connect(std::int32_t in, std::int32_t out, bool type22, SearchProgress& progress,
                           const SearchMemory& memory) {
  Close();
  ScreenScope screen;
  RunState& run = Run();
  run.midiInIndex = in;
  run.midiOutIndex = out;
  run.modelType = -1;
  run.modelCode.clear();
  run.modelInfoValid = 0;
  run.modelInfo.clear();
  run.debugZt52 = type22 ? 1 : 0;
  if (OpenMidiPorts() == 0) RaiseMessage(IDS_DEVICE_BUSY);
  try {
    const int found = SearchKeyboard(progress, memory);
    family_ = found != 0 ? FamilyFor(run.modelType) : nullptr;
    if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  } catch (...) {
    Close();
    throw;
  }
  Found result;
  result.modelType = run.modelType;
  result.family = family_->letter;
  slots_ = family_->slotsOf(run.modelType, "");
  result.labels = slots_.labels;
  slotCount_ = result.labels.size();
  return result;
}

Listing PageSession::List(TransferProgress& progress) {
  if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  ScreenScope screen;
  Listing listing;
  family_->read(slots_, listing, progress);
  listing_ = listing;
  return listing;
}

std::string PageSession::TotalText(const Listing& listing) const {
  return family_ != nullptr ? family_->totalText(listing.totalSize) : TotalKilobytesText(listing.totalSize);
}

SendOutcome PageSession::Send(std::size_t slot, const std::string& fileName, const Bytes& midi,
                              TransferProgress& progress, PageDialogs& dialogs) {
  if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  if (slot >= slotCount_) RaiseMessage(IDS_DATA_NOT_FOUND);
  const Bytes image = ImageFor(fileName, midi);
  // A send of one song is a plan of one, judged against the slots as last read (read now when there is no
  // reading at hand).
  if (listing_.slots.size() != slotCount_) List(progress);
  PlannedSong song;
  song.name = SongNameOf(fileName);
  song.size = static_cast<std::uint32_t>(image.size());
  const SendPlan plan = MakePlan(*family_, listing_, {song}, SlotRequest{SlotRequest::Kind::Named, 0, {slot}});
  const PlannedSong& planned = plan.songs.front();
  if (!planned.fits) {
    dialogs.Tell(MessageText(family_->noRoomMessage));
    return SendOutcome::NoRoom;
  }
  if (planned.replaces && !dialogs.Ask(MessageText(IDS_ALREADY_EXIST))) return SendOutcome::Declined;
  ScreenScope screen;
  PlanOutcome outcome;
  {
    ProgressClearing clearing(progress);
    AnsweredPrompts prompts;
    NoSongLines lines;
    outcome = SendPlanned(*family_, Run().modelType, plan, {image}, progress, prompts, lines, UnfitSongs::RefuseWhole);
  }
  listing_ = outcome.readAfter ? outcome.after : Listing{};
  if (!outcome.AllStored()) std::rethrow_exception(outcome.failure ? outcome.failure
                                                                   : std::make_exception_ptr(RaisedMessage{IDS_FILE_ERROR}));
  dialogs.Tell(MessageText(IDS_COMPLETE));
  return SendOutcome::Sent;
}

Bytes PageSession::ImageFor(const std::string& fileName, const Bytes& midi) const {
  if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  ScreenScope screen;
  Bytes image = Convert(fileName, midi, conv::SongOutput::Image, family_->modelCode(), family_->modelInfo());
  if (image.empty()) RaiseMessage(IDS_FILE_ERROR);
  return image;
}

SendPlan PageSession::Plan(const std::vector<PlannedSong>& songs, long first) const {
  if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  if (listing_.slots.empty()) RaiseMessage(IDS_DATA_NOT_FOUND);
  SlotRequest request;
  if (first >= 0) {
    if (static_cast<std::size_t>(first) >= listing_.slots.size()) RaiseMessage(IDS_DATA_NOT_FOUND);
    request.kind = SlotRequest::Kind::From;
    request.first = static_cast<std::size_t>(first);
  }
  std::vector<PlannedSong> named = songs;
  for (PlannedSong& song : named) song.name = SongNameOf(song.name);
  return MakePlan(*family_, listing_, named, request);
}

std::string PageSession::ReplaceQuestion(const SendPlan& plan) const {
  std::string slots;
  for (const PlannedSong& song : plan.songs) {
    if (!song.fits || !song.replaces || song.slot >= listing_.slots.size()) continue;
    slots += (slots.empty() ? "" : ", ") + listing_.slots[song.slot].label;
  }
  if (slots.empty()) return "";
  return MessageText(IDS_ALREADY_EXIST) + "\nSlots: " + slots;
}

PlanOutcome PageSession::SendAll(const SendPlan& plan, const std::vector<Bytes>& images,
                                 TransferProgress& progress, PageDialogs& dialogs, PlanProgress& songs) {
  if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  const std::string question = ReplaceQuestion(plan);
  if (!question.empty() && !dialogs.Ask(question)) {
    // Nothing was sent and nothing read: the slots as last read stand.
    PlanOutcome declined;
    declined.songs.resize(plan.songs.size());
    for (std::size_t i = 0; i < plan.songs.size(); ++i) {
      if (plan.songs[i].fits) declined.songs[i].fate = SongFate::Declined;
    }
    return declined;
  }
  ScreenScope screen;
  std::size_t count = 0;
  for (const PlannedSong& song : plan.songs) count += song.fits ? 1 : 0;
  PlanOutcome outcome;
  {
    ProgressClearing clearing(progress);
    WholePlanProgress whole(progress, songs, count);
    AnsweredPrompts prompts;
    outcome = SendPlanned(*family_, Run().modelType, plan, images, whole, prompts, whole, UnfitSongs::SendWhatFits);
  }
  // Without a reading after, the page has no slots it can trust: it must read them again before planning.
  listing_ = outcome.readAfter ? outcome.after : Listing{};
  bool allStored = count > 0;
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    if (plan.songs[i].fits && outcome.songs[i].fate != SongFate::Stored) allStored = false;
  }
  if (allStored && !outcome.failure) dialogs.Tell(MessageText(IDS_COMPLETE));
  return outcome;
}

bool PageSession::ShowsSong(std::size_t slot, const std::string& fileName, std::uint32_t size) const {
  if (family_ == nullptr || slot >= listing_.slots.size()) return false;
  return SlotShowsSong(*family_, family_->slotsOf(Run().modelType, SongNameOf(fileName)), listing_.slots[slot], size);
}

bool PageSession::Delete(std::size_t slot, PageDialogs& dialogs) {
  if (family_ == nullptr) RaiseMessage(IDS_NO_RESPONSE);
  // Only a slot that the last reading found in use has a song to delete.
  if (!HoldsSong(listing_, slot)) return false;
  if (!dialogs.Ask(MessageText(IDS_DELETE_QUESTION))) return false;
  ScreenScope screen;
  family_->erase(slots_, slot);
  dialogs.Tell(MessageText(IDS_DELETE_COMPLETE));
  return true;
}

void PageSession::Close() {
  family_ = nullptr;
  slotCount_ = 0;
  listing_ = Listing{};
  try {
    CloseMidiPorts();
  } catch (const std::logic_error&) {
    // No driver installed: nothing is open.
  }
}

}  // namespace su::web
