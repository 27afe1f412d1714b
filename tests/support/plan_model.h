// Random plans of several songs against keyboards that disagree with them, and the check that what a plan
// reports for each song is what the keyboard holds: shared by the plan's own model test and the page's.
// A draw is made from a seed, so a failing run is repeated by its seed alone (SU_PLAN_SEED=N).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/keyboard_rules.h"
#include "tests/support/virtual_link.h"
#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "transfer/send_plan.h"

namespace su::test {

// A transfer's progress that nobody watches.
struct QuietProgress : TransferProgress {
  void Begin(int) override {}
  void Step() override {}
  void Clear() override {}
  void Status(int) override {}
  int* OpenCheckingWait() override { return nullptr; }
  void CloseCheckingWait() override {}
};

// The user's stop (Ctrl-C, Cancel) as a front end raises it from a wait.
struct StopAsked {};

// Stops are asked for from a window message; once the reading after begins a stop lets it finish, as the
// command line's does, unless the draw stops the reading after itself (`stopReading`, a link to post on).
struct StopShield : PlanProgress {
  void SongBegins(std::size_t, std::size_t, std::size_t) override {}
  void SongStored(std::size_t) override {}
  void ReadingAfter() override {
    reading = true;
    if (stopReading != nullptr) stopReading->PostWindowMessage(stopReadingAfterMs, [] { throw StopAsked{}; });
  }
  bool reading = false;
  VirtualLink* stopReading = nullptr;
  std::uint32_t stopReadingAfterMs = 0;
};

struct ModelFamily {
  KeyboardFamily family;
  std::int32_t modelType;
  int blockCommand;      // the data block's rule command
  std::uint8_t refusal;  // a block refusal that ends the transfer
  int closeCommand;      // the command the keyboard answers when it has checked a whole song (none: -1)
};

inline void PrintTo(const ModelFamily& f, std::ostream* os) { *os << "family " << "ABC"[static_cast<int>(f.family)]; }

inline const std::vector<ModelFamily>& ModelFamilies() {
  static const std::vector<ModelFamily> families = {{KeyboardFamily::A, 21, kKeyABlock, 2, -1},
                                                    {KeyboardFamily::B, 25, kKeyBBlock, 0x0B, -1},
                                                    {KeyboardFamily::C, 4, 0x04, 7, 0x05}};
  return families;
}

// The seeds to run: 1 to `count`, or the one SU_PLAN_SEED names.
inline std::vector<unsigned> ModelSeeds(unsigned count) {
  if (const char* one = std::getenv("SU_PLAN_SEED")) return {static_cast<unsigned>(std::strtoul(one, nullptr, 10))};
  std::vector<unsigned> seeds;
  for (unsigned seed = 1; seed <= count; ++seed) seeds.push_back(seed);
  return seeds;
}

// One draw: the keyboard (its songs, memory and disagreements), the songs (random bytes, so that no two can
// be mistaken for one another on the keyboard), the slots asked for, what is done with songs that do not fit,
// and up to two faults of the cable or the user at random moments. The draws are adversarial where a reading
// alone could be fooled: old songs of a new song's size (and one byte more) under the name the family keeps
// for it, a No to the replace question, a keyboard changed between the reading and the plan, a keyboard that
// acknowledges a song it keeps nowhere or stores it into another slot. Slot 9 always holds a song no plan
// asks for: a misplaced song goes there.
struct ModelDraw {
  KeyboardConfig config;
  std::vector<std::vector<std::uint8_t>> images;
  std::vector<PlannedSong> songs;  // names and sizes
  SlotRequest request;
  UnfitSongs unfit = UnfitSongs::SendWhatFits;
  int fault = 0;         // 0 none, 1 a block refused, 2 silence, 3 unplugged, 4 stopped, 5 stopped in the reading
                         // after, 6 a song's final check unanswered and without effect (else one message)
  std::uint32_t faultAt = 0;
  int fault2 = 0;        // a second fault, drawn alike (0: none)
  std::uint32_t fault2At = 0;
  std::uint32_t loseAnswer = 0;  // the n-th answer once the plan begins is lost (0: none)
  bool answersNo = false;  // the replace question is answered No
  int change = 0;        // between the reading and the plan: 0 nothing, 1 a planned empty slot takes a song,
                         // 2 a planned replaced song is deleted
  std::string story;     // what was drawn, for the failure message
};

constexpr std::size_t kModelReserveSlot = 9;

inline ModelDraw DrawModel(const ModelFamily& f, unsigned seed) {
  std::mt19937 random(seed * 7919u + static_cast<unsigned>(f.family));
  auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  ModelDraw d;
  KeyboardConfig& config = d.config;
  config.family = f.family;
  config.answersIdentity = f.family == KeyboardFamily::C;
  const int count = draw(1, 6);
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(draw(1, 2500)));
    for (auto& byte : image) byte = static_cast<std::uint8_t>(draw(0, 255));
    PlannedSong song;
    song.name = "Song" + std::to_string(i + 1);
    song.size = static_cast<std::uint32_t>(image.size());
    d.songs.push_back(song);
    d.images.push_back(std::move(image));
  }
  config.slots = std::vector<KeyboardSlot>(10);
  int lookalikes = 0;
  for (std::size_t index = 0; index < config.slots.size(); ++index) {
    KeyboardSlot& slot = config.slots[index];
    if (index != kModelReserveSlot && draw(0, 3) != 0) continue;
    slot.status = 1;
    slot.size = static_cast<std::uint32_t>(draw(50, 1500));
    slot.name = "Old";
    if (index != kModelReserveSlot && draw(0, 1) == 0) {
      // A look-alike: the size of one of the new songs (or one byte more, as a whole-word family pads an odd
      // size), under the name the family would show for it.
      const std::size_t like = static_cast<std::size_t>(draw(0, count - 1));
      slot.size = d.songs[like].size + static_cast<std::uint32_t>(draw(0, 3) == 0 ? 1 : 0);
      slot.name = f.family == KeyboardFamily::A ? (draw(0, 2) == 0 ? "Old" : d.songs[like].name) : "";
      ++lookalikes;
    }
    slot.contents.assign(slot.size, 0xEE);
  }
  config.freeMemory = static_cast<std::uint32_t>(draw(2000, 12000));
  config.maxSongSize = static_cast<std::uint32_t>(draw(1500, 4000));
  if (draw(0, 2) == 0) config.songOverhead = static_cast<std::uint32_t>(draw(1, 600));
  if (draw(0, 3) == 0) config.refuseSong = static_cast<std::uint32_t>(draw(1, 4));
  if (draw(0, 5) == 0) config.silentAfterSongs = static_cast<std::uint32_t>(draw(1, 3));
  if (f.family == KeyboardFamily::B && draw(0, 2) == 0) {
    config.maxSongShrink = static_cast<std::uint32_t>(draw(100, 1500));
  }
  // One answer lost on the way: the message has its effect, the program hears nothing.
  if (draw(0, 4) == 0) d.loseAnswer = static_cast<std::uint32_t>(draw(1, 150));
  switch (draw(0, 7)) {
    case 0: config.forgetSong = static_cast<std::uint32_t>(draw(1, 3)); break;
    case 1:
      config.misplaceSong = static_cast<std::uint32_t>(draw(1, 3));
      config.misplaceSlot = kModelReserveSlot;
      break;
    default: break;
  }
  switch (draw(0, 2)) {
    case 0: break;
    case 1:
      d.request.kind = SlotRequest::Kind::From;
      d.request.first = static_cast<std::size_t>(draw(0, 8));
      break;
    default: {
      d.request.kind = SlotRequest::Kind::Named;
      std::vector<std::size_t> all = {0, 1, 2, 3, 4, 5, 6, 7, 8};
      std::shuffle(all.begin(), all.end(), random);
      d.request.named.assign(all.begin(), all.begin() + count);
    }
  }
  d.unfit = draw(0, 1) == 0 ? UnfitSongs::RefuseWhole : UnfitSongs::SendWhatFits;
  auto drawFault = [&](int* fault, std::uint32_t* at) {
    *fault = draw(0, 6);
    *at = static_cast<std::uint32_t>(*fault == 1 ? draw(0, 60) : *fault == 2 ? draw(0, 150)
                                     : *fault == 5 ? draw(0, 30) : *fault == 6 ? draw(0, 3) : draw(0, 20000));
  };
  drawFault(&d.fault, &d.faultAt);
  if (draw(0, 3) == 0) drawFault(&d.fault2, &d.fault2At);
  d.answersNo = draw(0, 5) == 0;
  d.change = draw(0, 4) < 2 ? draw(1, 2) : 0;
  static const char* const kFaults[] = {"no fault", "a block refused after", "silent after message",
                                        "unplugged at ms", "stopped at ms", "stopped in the reading after at ms",
                                        "a final check unanswered, or one message, after"};
  d.story = "seed " + std::to_string(seed) + " (SU_PLAN_SEED=" + std::to_string(seed) + "): " +
            std::to_string(count) + " songs, " + std::to_string(lookalikes) + " look-alike old songs, overhead " +
            std::to_string(config.songOverhead) + ", refuse song " + std::to_string(config.refuseSong) +
            ", silent after songs " + (config.silentAfterSongs ? std::to_string(*config.silentAfterSongs) : "-") +
            ", shrink " + std::to_string(config.maxSongShrink) + ", free " + std::to_string(config.freeMemory) +
            ", answer lost " + std::to_string(d.loseAnswer) + ", forget song " +
            std::to_string(config.forgetSong) + ", misplace song " +
            std::to_string(config.misplaceSong) + ", " + kFaults[d.fault] + " " + std::to_string(d.faultAt) +
            (d.fault2 != 0 ? std::string(" and ") + kFaults[d.fault2] + " " + std::to_string(d.fault2At) : "") +
            (d.answersNo ? ", answers No" : "") +
            (d.change == 1 ? ", a planned empty slot filled" : d.change == 2 ? ", a replaced song deleted" : "") +
            (d.unfit == UnfitSongs::RefuseWhole ? ", refused whole" : ", sends what fits");
  return d;
}

// Sets one drawn fault up: on the keyboard, on the link, or as a stop raised from a wait.
inline void ApplyOneFault(const ModelFamily& f, int fault, std::uint32_t at, VirtualKeyboard& keyboard,
                          VirtualLink& link, StopShield& shield) {
  switch (fault) {
    case 1: keyboard.AddRule(Refuse(f.blockCommand, f.refusal, 1, at)); break;
    case 2: keyboard.AddRule(Silent(kAnyCommand, at)); break;
    case 3: link.Unplug(at); break;
    case 4:
      link.PostWindowMessage(at, [&shield] {
        if (!shield.reading) throw StopAsked{};
      });
      break;
    case 5:
      shield.stopReading = &link;
      shield.stopReadingAfterMs = at;
      break;
    case 6:
      keyboard.AddRule(f.closeCommand >= 0 ? Ignore(f.closeCommand, 1, at) : Ignore(kAnyCommand, 1, at * 20));
      break;
    default: break;
  }
}

inline void ApplyFault(const ModelFamily& f, const ModelDraw& d, VirtualKeyboard& keyboard, VirtualLink& link,
                       StopShield& shield) {
  ApplyOneFault(f, d.fault, d.faultAt, keyboard, link, shield);
  ApplyOneFault(f, d.fault2, d.fault2At, keyboard, link, shield);
  if (d.loseAnswer != 0) keyboard.LoseAnswer(d.loseAnswer);
}

// The keyboard changed behind the plan's back, after the reading it was made from: the first song planned
// into an empty slot finds it taken by another song, or the first song planned to replace one finds it gone.
inline void ChangeBehindThePlan(const ModelDraw& d, const SendPlan& plan, VirtualKeyboard& keyboard) {
  for (const PlannedSong& song : plan.songs) {
    if (!song.fits) continue;
    if (d.change == 1 && !song.replaces) {
      KeyboardSlot intruder;
      intruder.status = 1;
      intruder.size = 40;
      intruder.name = "Intruder";
      intruder.contents.assign(intruder.size, 0x11);
      keyboard.ChangeSlot(song.slot, intruder);
      return;
    }
    if (d.change == 2 && song.replaces) {
      keyboard.ChangeSlot(song.slot, KeyboardSlot{});
      return;
    }
  }
}

inline std::vector<KeyboardSlot> SlotsOf(const VirtualKeyboard& keyboard) {
  std::vector<KeyboardSlot> slots;
  for (std::size_t i = 0; i < keyboard.SlotCount(); ++i) slots.push_back(keyboard.Slot(i));
  return slots;
}

inline std::string TrimmedName(std::string name) {
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  return name;
}

// Whether the keyboard keeps song `i` in `slot`: the image itself, and for a whole-word family an odd size
// with its zero padding byte (a family that never pads keeps exactly the bytes sent); family A keeps its name
// (unless only the bytes are asked about).
inline bool HoldsImage(const ModelFamily& f, const ModelDraw& d, std::size_t i, const KeyboardSlot& slot,
                       bool withName = true) {
  const std::vector<std::uint8_t>& image = d.images[i];
  if (slot.status != 1 || slot.contents.size() < image.size()) return false;
  if (withName && f.family == KeyboardFamily::A && TrimmedName(slot.name) != d.songs[i].name) return false;
  const bool padded = f.family != KeyboardFamily::C && image.size() % 2 == 1 &&
                      slot.contents.size() == image.size() + 1 && slot.contents.back() == 0;
  if (slot.contents.size() != image.size() && !padded) return false;
  return std::equal(image.begin(), image.end(), slot.contents.begin());
}

inline bool SameSlot(const KeyboardSlot& a, const KeyboardSlot& b) {
  return a.status == b.status && a.size == b.size && a.name == b.name && a.contents == b.contents;
}

// A reading's row against the keyboard's own slot: used, size, and the name where the keyboard keeps one.
inline void ExpectRowIsKeyboards(const SlotRow& row, const KeyboardSlot& slot, const std::string& where) {
  EXPECT_EQ(row.used, slot.status == 1) << where;
  if (slot.status != 1) return;
  EXPECT_EQ(row.size, slot.size) << where;
  if (!TrimmedName(slot.name).empty()) {
    EXPECT_EQ(TrimmedName(row.name), TrimmedName(slot.name)) << where;
  }
}

// What the plan reports for each song against what the keyboard holds now (`before`: its slots as the plan
// began, after any change behind its back).
inline void ExpectReportedAsHeld(const ModelFamily& f, const ModelDraw& d, const SendPlan& plan,
                                 const PlanOutcome& outcome, const std::vector<KeyboardSlot>& before,
                                 const VirtualKeyboard& keyboard) {
  static const char* const kFates[] = {"stored", "not begun", "failed", "declined", "unknown"};
  const std::vector<KeyboardSlot> held = SlotsOf(keyboard);
  ASSERT_EQ(outcome.songs.size(), plan.songs.size());
  // The keyboard acknowledged a song it did not keep where asked: only a reading can catch that, and only
  // where the slot does not look like the song.
  const bool betrays = d.config.forgetSong != 0 || d.config.misplaceSong != 0;
  if (outcome.readAfter) {
    ASSERT_EQ(outcome.after.slots.size(), held.size());
    for (std::size_t slot = 0; slot < held.size(); ++slot) {
      ExpectRowIsKeyboards(outcome.after.slots[slot], held[slot], "the reading after, slot " + std::to_string(slot));
    }
  }
  bool endedByNo = false;       // a No ended the plan: what came after it was never begun
  bool everyFitEnded = true;    // every song that fits is stored, declined, or after a No
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    const SongOutcome& reported = outcome.songs[i];
    SCOPED_TRACE("song " + std::to_string(i) + " (" + std::to_string(song.size) + " bytes, slot " +
                 std::to_string(song.slot) + (song.fits ? ", fits" : ", does not fit") +
                 (song.replaces ? ", replaces" : "") + "): reported " + kFates[static_cast<int>(reported.fate)]);
    if (song.fits && reported.fate != SongFate::Stored && reported.fate != SongFate::Declined && !endedByNo) {
      everyFitEnded = false;
    }
    // A song is in no slot but its own (or where the keyboard misplaced a song).
    for (std::size_t slot = 0; slot < held.size(); ++slot) {
      if ((slot != song.slot || !song.hasSlot) && slot != kModelReserveSlot) {
        EXPECT_FALSE(HoldsImage(f, d, i, held[slot])) << "in slot " << slot;
      }
    }
    if (!song.hasSlot) continue;
    const KeyboardSlot& now = held[song.slot];
    const bool holds = HoldsImage(f, d, i, now);
    if (outcome.readAfter) ExpectRowIsKeyboards(reported.found, now, "found");
    const bool filledSince = !song.replaces && before[song.slot].status == 1;
    switch (reported.fate) {
      case SongFate::Stored:
        EXPECT_EQ(reported.confirmed, outcome.readAfter) << "stored on a reading that was not made, or not said so";
        // Stored on a keyboard that acknowledged what it did not keep: only where the evidence could not tell.
        if (!holds) {
          EXPECT_TRUE(betrays) << "stored, but the slot does not hold it";
          // A reading that confirms it shows what the song would: its size (one more where a whole-word family
          // pads an odd size) and the name family A keeps.
          const bool padded = f.family != KeyboardFamily::C && song.size % 2 == 1 && now.size == song.size + 1;
          if (reported.confirmed) {
            EXPECT_TRUE(now.status == 1 && (now.size == song.size || padded)) << "confirmed by a row of another size";
            if (f.family == KeyboardFamily::A) {
              EXPECT_EQ(TrimmedName(now.name), song.name);
            }
          }
        }
        break;
      case SongFate::Unknown:
        EXPECT_TRUE(!outcome.readAfter || reported.oldStill) << "unknown though the reading after could tell";
        EXPECT_TRUE(HoldsImage(f, d, i, now, false) || SameSlot(now, before[song.slot]) || now.status != 1)
            << "unknown, yet the slot holds neither the song nor the old one";
        break;
      case SongFate::NotBegun:
        EXPECT_TRUE(SameSlot(now, before[song.slot])) << "a song not begun changed its slot";
        break;
      case SongFate::Declined:
        EXPECT_TRUE((d.answersNo && song.replaces) || filledSince) << "declined without a No or a filled slot";
        EXPECT_TRUE(SameSlot(now, before[song.slot])) << "a declined song changed its slot";
        EXPECT_EQ(reported.filledSince, filledSince);
        if (!filledSince) endedByNo = true;
        break;
      case SongFate::Failed:
        EXPECT_FALSE(holds);
        if (outcome.readAfter) {
          EXPECT_EQ(reported.slotEmptied, song.replaces && now.status != 1);
        }
        break;
    }
    // A slot that took a song behind the plan's back is never replaced.
    if (filledSince) {
      EXPECT_TRUE(SameSlot(now, before[song.slot])) << "a song nobody agreed to replace is gone";
    }
  }
  // The plan ended well exactly when every song that fits is stored (or declined, or after a No) and,
  // refused whole, when all fit.
  std::string fates;
  for (const SongOutcome& song : outcome.songs) fates += std::string(kFates[static_cast<int>(song.fate)]) + "; ";
  EXPECT_EQ(!outcome.failure, everyFitEnded && (d.unfit == UnfitSongs::SendWhatFits || plan.AllFit()))
      << "fates: " << fates;
}

}  // namespace su::test
