// The core's exports to the page. Each call returns a JSON text (valid until the next call) that says what
// came of it: {"ok":true,...} or {"ok":false,"number":N,"message":TEXT,"gone":BOOL,"connected":BOOL}, N and
// TEXT being the product's message for the failure (the page decides by the number, and shows the text),
// "gone" true when the keyboard was unplugged or switched off. Calls that talk to
// the keyboard suspend the core while they await the browser (the page calls them with {async: true}); the
// page's questions, messages and progress are reached through Module.suPage.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/messages.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "midi/webmidi/webmidi_driver.h"
#include "transfer/slot_list.h"
#include "web/core/page_core.h"
#include "web/core/page_json.h"

namespace {

using su::web::JsonList;
using su::web::JsonString;
using su::web::ListingJson;

// The page's questions and messages never fail into the core: a dialog that cannot be shown answers No.
EM_ASYNC_JS(int, su_page_ask, (const char* text), {
  try { return (await Module.suPage.ask(UTF8ToString(text))) ? 1 : 0; } catch (e) { return 0; }
});
EM_ASYNC_JS(void, su_page_tell, (const char* text), {
  try { await Module.suPage.tell(UTF8ToString(text)); } catch (e) {}
});
EM_JS(void, su_page_begin, (int total), { Module.suPage.progressBegin(total); });
EM_JS(void, su_page_step, (), { Module.suPage.progressStep(); });
EM_JS(void, su_page_clear, (), { Module.suPage.progressClear(); });
EM_JS(void, su_page_status, (const char* text), { Module.suPage.status(UTF8ToString(text)); });
EM_JS(void, su_page_checking, (int* flag), { Module.suPage.checking(flag); });
EM_JS(void, su_page_song, (int index, int ordinal, int count), { Module.suPage.songBegins(index, ordinal, count); });
EM_JS(void, su_page_song_sent, (int index), { Module.suPage.songSent(index); });

class Dialogs : public su::web::PageDialogs {
 public:
  bool Ask(const std::string& text) override { return su_page_ask(text.c_str()) != 0; }
  void Tell(const std::string& text) override { su_page_tell(text.c_str()); }
};

class Progress : public su::TransferProgress {
 public:
  void Begin(int total) override { su_page_begin(total); }
  void Step() override { su_page_step(); }
  void Clear() override { su_page_clear(); }
  void Status(int message) override { su_page_status(su::web::MessageText(message).c_str()); }
  int* OpenCheckingWait() override {
    // The page's "Cancel" sets the flag in the core's memory; the wait looks at it after every receive.
    cancelFlag_ = 0;
    su_page_checking(&cancelFlag_);
    return &cancelFlag_;
  }
  void CloseCheckingWait() override { su_page_checking(nullptr); }

 private:
  int cancelFlag_ = 0;
};

// The line naming the song under way, for the page beside its one bar.
class PlanSongs : public su::PlanProgress {
 public:
  void SongBegins(std::size_t index, std::size_t ordinal, std::size_t count) override {
    su_page_song(static_cast<int>(index), static_cast<int>(ordinal), static_cast<int>(count));
  }
  // The keyboard took the song's last frame: the page shows it as sent while the plan goes on.
  void SongStored(std::size_t index) override { su_page_song_sent(static_cast<int>(index)); }
};

struct Core {
  su::WebMidiDriver driver;
  su::WebClock clock;
  su::web::PageSession session;
  std::string result;
  su::web::Bytes data;  // the last song file made
  // The songs to send in one go, converted for the keyboard found, in the page's order.
  std::vector<std::string> planNames;
  std::vector<su::web::Bytes> planImages;
};

// The driver and clock are installed once the core is whole: a failure there then leaves the core as it is,
// rather than taking it apart again through the session's closing, which can wait for the browser. So the
// calls that never wait stay out of Asyncify's reach.
Core& TheCore() {
  static Core core;
  static const bool installed = (su::InstallMidi(&core.driver, &core.clock), true);
  (void)installed;
  return core;
}

const char* Done(const std::string& fields) {
  std::string& result = TheCore().result;
  result = "{\"ok\":true" + (fields.empty() ? std::string() : "," + fields) + "}";
  return result.c_str();
}

// The failure under way as the page shows it, with `fields` beside it.
std::string FailureJson(std::exception_ptr failure, bool gone, const std::string& fields) {
  return "{\"ok\":false,\"number\":" + std::to_string(su::web::FailureNumber(failure)) +
         ",\"message\":" + JsonString(su::web::FailureText(failure)) + ",\"gone\":" + (gone ? "true" : "false") +
         ",\"connected\":" + (TheCore().session.Connected() ? "true" : "false") +
         (fields.empty() ? "" : "," + fields) + "}";
}

// The failure of a call that talks to the keyboard. A keyboard that is gone ends the session: the page must
// connect again.
const char* Failed(std::exception_ptr failure, const std::string& fields = "") {
  Core& core = TheCore();
  const bool gone = su::DeviceGone();
  if (gone) core.session.Close();
  core.result = FailureJson(failure, gone, fields);
  return core.result.c_str();
}

// The failure of a call that never talks to the keyboard (a song converted or measured, a plan made, the
// ports read): the same answer, and the session left as it is. It says nothing of the keyboard ("gone" false):
// the page learns of an unplugged keyboard from its ports and from its next call that talks to it. Asking the
// driver, or closing the session, could wait for the browser, which these calls never do.
const char* Refused(std::exception_ptr failure) {
  Core& core = TheCore();
  core.result = FailureJson(failure, false, "");
  return core.result.c_str();
}

// Each attempt of the keyboard search as one step of the page's progress bar (three at most: the keyboard last
// found on the ports, then the two other requests), its status on the page's status line.
class SearchSteps : public su::SearchProgress {
 public:
  SearchSteps() { su_page_begin(3); }
  ~SearchSteps() override { su_page_clear(); }
  void Step() override { su_page_step(); }
  void Status(int message) override { su_page_status(su::web::MessageText(message).c_str()); }
};

// The keyboards remembered per pair of ports, in the page's local storage (one text under one key). Storage
// that the browser refuses (private windows, a full quota) is no storage: the search then asks every way.
EM_JS(int, su_page_state_size, (), {
  try {
    const text = localStorage.getItem('songuploader.keyboards');
    return text === null ? -1 : lengthBytesUTF8(text);
  } catch (e) { return -1; }
});
EM_JS(int, su_page_state_copy, (char* out, int size), {
  try {
    const text = localStorage.getItem('songuploader.keyboards');
    if (text === null) return 0;
    stringToUTF8(text, out, size);
    return 1;
  } catch (e) { return 0; }
});
EM_JS(int, su_page_state_write, (const char* text), {
  try { localStorage.setItem('songuploader.keyboards', UTF8ToString(text)); return 1; } catch (e) { return 0; }
});

class PageStateStore : public su::KeyboardStateStore {
 public:
  bool Read(std::string* text) override {
    const int size = su_page_state_size();
    if (size < 0) return false;
    std::vector<char> bytes(static_cast<std::size_t>(size) + 1);
    if (su_page_state_copy(bytes.data(), size + 1) == 0) return false;
    *text = bytes.data();
    return true;
  }
  bool Write(const std::string& text) override { return su_page_state_write(text.c_str()) != 0; }
};

// The slots as the core last read them, as a field after others (",\"listing\":{...}"), or "" when none.
std::string LastListingField() {
  const su::web::PageSession& session = TheCore().session;
  const su::Listing& listing = session.LastListing();
  if (listing.slots.empty() || session.Family() == nullptr) return "";
  return ",\"listing\":{" + ListingJson(*session.Family(), listing) + "}";
}

// The plan of the songs added, from the last reading of the slots.
su::SendPlan PlanOfCore(int first) {
  Core& core = TheCore();
  std::vector<su::PlannedSong> songs(core.planImages.size());
  for (std::size_t i = 0; i < songs.size(); ++i) {
    songs[i].name = core.planNames[i];
    songs[i].size = static_cast<std::uint32_t>(core.planImages[i].size());
  }
  return core.session.Plan(songs, first);
}

}  // namespace

extern "C" {

// The song file the Save choice writes for the .mid bytes given; its bytes via su_data/su_data_size.
EMSCRIPTEN_KEEPALIVE const char* su_convert(const char* fileName, const std::uint8_t* bytes, int size) {
  Core& core = TheCore();
  try {
    if (bytes == nullptr || size < 0) su::RaiseMessage(IDS_FILE_ERROR);
    core.data = su::web::ConvertToSongFile(fileName, su::web::Bytes(bytes, bytes + size));
    const std::string name = su::web::SongFileName(fileName);
    return Done("\"name\":" + JsonString(name) + ",\"size\":" + std::to_string(core.data.size()) + ",\"saved\":" +
                JsonString(su::FormatSavedMessage(su::web::MessageText(IDS_SAVED), name)));
  } catch (...) {
    core.data.clear();
    return Refused(std::current_exception());
  }
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* su_data() { return TheCore().data.data(); }
EMSCRIPTEN_KEEPALIVE int su_data_size() { return static_cast<int>(TheCore().data.size()); }
EMSCRIPTEN_KEEPALIVE void su_data_release() { su::web::Bytes().swap(TheCore().data); }

// The ports offered and the pair chosen without asking (-1 when the user must choose); the remembered
// names win while both are offered.
EMSCRIPTEN_KEEPALIVE const char* su_ports(const char* rememberedIn, const char* rememberedOut) {
  try {
    const su::web::PortLists lists = su::web::ReadPortLists();
    std::int32_t in = -1;
    std::int32_t out = -1;
    if (!su::web::ChoosePortPair(lists, rememberedIn, rememberedOut, &in, &out)) in = out = -1;
    return Done("\"inputs\":" + JsonList(lists.inputs) + ",\"outputs\":" + JsonList(lists.outputs) +
                ",\"in\":" + std::to_string(in) + ",\"out\":" + std::to_string(out));
  } catch (...) {
    return Refused(std::current_exception());
  }
}

// `fresh` nonzero: every keyboard type in the usual order, whatever was found on these ports before.
EMSCRIPTEN_KEEPALIVE const char* su_connect(int in, int out, int type22, int fresh) {
  try {
    SearchSteps steps;
    PageStateStore remembered;
    const su::web::Found found =
        TheCore().session.Connect(in, out, type22 != 0, steps, su::SearchMemory{&remembered, fresh != 0});
    return Done("\"modelType\":" + std::to_string(found.modelType) + ",\"family\":\"" +
                std::string(1, found.family) + "\",\"labels\":" + JsonList(found.labels));
  } catch (...) {
    return Failed(std::current_exception());
  }
}

EMSCRIPTEN_KEEPALIVE const char* su_list() {
  try {
    Progress progress;
    su::web::PageSession& session = TheCore().session;
    const su::Listing listing = session.List(progress);
    return Done(ListingJson(*session.Family(), listing));
  } catch (...) {
    return Failed(std::current_exception());
  }
}

EMSCRIPTEN_KEEPALIVE const char* su_send(int slot, const char* fileName, const std::uint8_t* bytes, int size) {
  try {
    if (bytes == nullptr || size < 0) su::RaiseMessage(IDS_FILE_ERROR);
    Progress progress;
    Dialogs dialogs;
    const su::SendOutcome outcome = TheCore().session.Send(static_cast<std::size_t>(slot), fileName,
                                                           su::web::Bytes(bytes, bytes + size), progress, dialogs);
    const char* shown = outcome == su::SendOutcome::Sent ? "sent" : outcome == su::SendOutcome::Declined ? "declined" : "noRoom";
    return Done("\"outcome\":\"" + std::string(shown) + "\"" + LastListingField());
  } catch (...) {
    return Failed(std::current_exception(), LastListingField().substr(LastListingField().empty() ? 0 : 1));
  }
}

// What a song chosen is, and its size converted with the converter's default model code.
EMSCRIPTEN_KEEPALIVE const char* su_measure(const char* fileName, const std::uint8_t* bytes, int size) {
  try {
    if (bytes == nullptr || size < 0) su::RaiseMessage(IDS_FILE_ERROR);
    const su::web::SongMeasure measure = su::web::MeasureSong(fileName, su::web::Bytes(bytes, bytes + size));
    return Done("\"tracks\":" + std::to_string(measure.trackCount) + ",\"notes\":" +
                std::to_string(measure.noteCount) + ",\"lengthMs\":" + std::to_string(measure.lengthMs) +
                ",\"size\":" + std::to_string(measure.size));
  } catch (...) {
    return Refused(std::current_exception());
  }
}

// The songs of a plan: cleared, then each added converted for the keyboard found (its size answered).
EMSCRIPTEN_KEEPALIVE void su_plan_clear() {
  Core& core = TheCore();
  core.planNames.clear();
  std::vector<su::web::Bytes>().swap(core.planImages);
}

EMSCRIPTEN_KEEPALIVE const char* su_plan_add(const char* fileName, const std::uint8_t* bytes, int size) {
  Core& core = TheCore();
  try {
    if (bytes == nullptr || size < 0) su::RaiseMessage(IDS_FILE_ERROR);
    su::web::Bytes image = core.session.ImageFor(fileName, su::web::Bytes(bytes, bytes + size));
    const std::size_t taken = image.size();
    core.planImages.push_back(std::move(image));
    core.planNames.push_back(fileName);
    return Done("\"size\":" + std::to_string(taken));
  } catch (...) {
    return Refused(std::current_exception());
  }
}

// Where the songs added would go, from slot `first` (or the empty slots in order when it is negative).
EMSCRIPTEN_KEEPALIVE const char* su_plan(int first) {
  try {
    return Done(su::web::PlanJson(PlanOfCore(first)));
  } catch (...) {
    return Refused(std::current_exception());
  }
}

// Sends the songs added as planned from `first`: the songs stored, and the slots as read at the end.
EMSCRIPTEN_KEEPALIVE const char* su_plan_send(int first) {
  Core& core = TheCore();
  try {
    const su::SendPlan plan = PlanOfCore(first);
    Progress progress;
    Dialogs dialogs;
    PlanSongs songs;
    const su::PlanOutcome outcome = core.session.SendAll(plan, core.planImages, progress, dialogs, songs);
    // One fate per song of the plan, as the reading after found it.
    static const char* const kFates[] = {"stored", "notBegun", "failed", "declined", "unknown"};
    std::string fields = "\"songs\":[";
    for (std::size_t i = 0; i < outcome.songs.size(); ++i) {
      const su::SongOutcome& song = outcome.songs[i];
      auto flag = [](const char* name, bool on) { return std::string(",\"") + name + "\":" + (on ? "true" : "false"); };
      fields += std::string(i ? "," : "") + "{\"fate\":\"" + kFates[static_cast<int>(song.fate)] + "\"" +
                flag("slotEmptied", song.slotEmptied) + flag("confirmed", song.confirmed) +
                flag("oldStill", song.oldStill) + flag("filledSince", song.filledSince) + "}";
    }
    fields += std::string("],\"declined\":") + (outcome.Declined() ? "true" : "false");
    if (outcome.readAfter) {
      fields += ",\"listing\":{" + ListingJson(*core.session.Family(), outcome.after) + "}";
    }
    if (outcome.failure) return Failed(outcome.failure, fields);
    return Done(fields);
  } catch (...) {
    return Failed(std::current_exception());
  }
}

// Whether the slots as last read show the song of `fileName` (`size` bytes for this keyboard) in `slot`.
EMSCRIPTEN_KEEPALIVE int su_shows_song(int slot, const char* fileName, int size) {
  if (slot < 0 || size < 0 || fileName == nullptr) return 0;
  return TheCore().session.ShowsSong(static_cast<std::size_t>(slot), fileName, static_cast<std::uint32_t>(size)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* su_delete(int slot) {
  try {
    Dialogs dialogs;
    const bool deleted = TheCore().session.Delete(static_cast<std::size_t>(slot), dialogs);
    return Done(std::string("\"deleted\":") + (deleted ? "true" : "false"));
  } catch (...) {
    return Failed(std::current_exception());
  }
}

EMSCRIPTEN_KEEPALIVE void su_disconnect() { TheCore().session.Close(); }

// A failure message of the product by its number (the page shows message 34 when it cannot ask the browser).
EMSCRIPTEN_KEEPALIVE const char* su_message(int number) {
  TheCore().result = su::web::MessageText(number);
  return TheCore().result.c_str();
}

}  // extern "C"
