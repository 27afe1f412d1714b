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

// A plan's prompts: the one replace question was answered Yes before the plan; a keyboard's no-room answer
// must come back as the plan's failure, never through the prompts.
struct YesPrompts : SendPrompts {
  bool ConfirmReplace() override { return true; }
  void NoRoom(int) override { ADD_FAILURE() << "a plan's no-room answer must become its failure"; }
};

// The user's stop (Ctrl-C, Cancel) as a front end raises it from a wait.
struct StopAsked {};

// Stops are asked for from a window message; once the reading after begins a stop lets it finish, as the
// command line's does.
struct StopShield : PlanProgress {
  void SongBegins(std::size_t, std::size_t, std::size_t) override {}
  void SongStored(std::size_t) override {}
  void ReadingAfter() override { reading = true; }
  bool reading = false;
};

struct ModelFamily {
  KeyboardFamily family;
  std::int32_t modelType;
  int blockCommand;      // the data block's rule command
  std::uint8_t refusal;  // a block refusal that ends the transfer
};

inline void PrintTo(const ModelFamily& f, std::ostream* os) { *os << "family " << "ABC"[static_cast<int>(f.family)]; }

inline const std::vector<ModelFamily>& ModelFamilies() {
  static const std::vector<ModelFamily> families = {{KeyboardFamily::A, 21, kKeyABlock, 2},
                                                    {KeyboardFamily::B, 25, kKeyBBlock, 0x0B},
                                                    {KeyboardFamily::C, 4, 0x04, 7}};
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
// and one fault of the cable or the user at a random moment.
struct ModelDraw {
  KeyboardConfig config;
  std::vector<std::vector<std::uint8_t>> images;
  std::vector<PlannedSong> songs;  // names and sizes
  SlotRequest request;
  UnfitSongs unfit = UnfitSongs::SendWhatFits;
  int fault = 0;         // 0 none, 1 a block refused, 2 silence, 3 unplugged, 4 stopped
  std::uint32_t faultAt = 0;
  std::string story;     // what was drawn, for the failure message
};

inline ModelDraw DrawModel(const ModelFamily& f, unsigned seed) {
  std::mt19937 random(seed * 7919u + static_cast<unsigned>(f.family));
  auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  ModelDraw d;
  KeyboardConfig& config = d.config;
  config.family = f.family;
  config.answersIdentity = f.family == KeyboardFamily::C;
  config.slots = std::vector<KeyboardSlot>(10);
  for (auto& slot : config.slots) {
    if (draw(0, 3) != 0) continue;
    slot.status = 1;
    slot.size = static_cast<std::uint32_t>(draw(50, 1500));
    slot.contents.assign(slot.size, 0xEE);
    slot.name = "Old";
  }
  config.freeMemory = static_cast<std::uint32_t>(draw(2000, 12000));
  config.maxSongSize = static_cast<std::uint32_t>(draw(1500, 4000));
  if (draw(0, 2) == 0) config.songOverhead = static_cast<std::uint32_t>(draw(1, 600));
  if (draw(0, 3) == 0) config.refuseSong = static_cast<std::uint32_t>(draw(1, 4));
  if (draw(0, 5) == 0) config.silentAfterSongs = static_cast<std::uint32_t>(draw(1, 3));
  if (f.family == KeyboardFamily::B && draw(0, 2) == 0) {
    config.maxSongShrink = static_cast<std::uint32_t>(draw(100, 1500));
  }
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
  switch (draw(0, 2)) {
    case 0: break;
    case 1:
      d.request.kind = SlotRequest::Kind::From;
      d.request.first = static_cast<std::size_t>(draw(0, 9));
      break;
    default: {
      d.request.kind = SlotRequest::Kind::Named;
      std::vector<std::size_t> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
      std::shuffle(all.begin(), all.end(), random);
      d.request.named.assign(all.begin(), all.begin() + count);
    }
  }
  d.unfit = draw(0, 1) == 0 ? UnfitSongs::RefuseWhole : UnfitSongs::SendWhatFits;
  d.fault = draw(0, 4);
  d.faultAt = static_cast<std::uint32_t>(d.fault == 1 ? draw(0, 60) : d.fault == 2 ? draw(0, 150) : draw(0, 20000));
  static const char* const kFaults[] = {"no fault", "a block refused after", "silent after message",
                                        "unplugged at ms", "stopped at ms"};
  d.story = "seed " + std::to_string(seed) + " (SU_PLAN_SEED=" + std::to_string(seed) + "): " +
            std::to_string(count) + " songs, overhead " + std::to_string(config.songOverhead) + ", refuse song " +
            std::to_string(config.refuseSong) + ", silent after songs " +
            (config.silentAfterSongs ? std::to_string(*config.silentAfterSongs) : "-") + ", shrink " +
            std::to_string(config.maxSongShrink) + ", free " + std::to_string(config.freeMemory) + ", " +
            kFaults[d.fault] + " " + std::to_string(d.faultAt) +
            (d.unfit == UnfitSongs::RefuseWhole ? ", refused whole" : ", sends what fits");
  return d;
}

// Sets the drawn fault up: on the keyboard, on the link, or as a stop raised from a wait.
inline void ApplyFault(const ModelFamily& f, const ModelDraw& d, VirtualKeyboard& keyboard, VirtualLink& link,
                       StopShield& shield) {
  switch (d.fault) {
    case 1: keyboard.AddRule(Refuse(f.blockCommand, f.refusal, 1, d.faultAt)); break;
    case 2: keyboard.AddRule(Silent(kAnyCommand, d.faultAt)); break;
    case 3: link.Unplug(d.faultAt); break;
    case 4:
      link.PostWindowMessage(d.faultAt, [&shield] {
        if (!shield.reading) throw StopAsked{};
      });
      break;
    default: break;
  }
}

inline bool HoldsImage(const KeyboardSlot& slot, const std::vector<std::uint8_t>& image) {
  // A whole-word family keeps an odd-sized song with its padding byte.
  return slot.status == 1 && slot.contents.size() >= image.size() && slot.contents.size() <= image.size() + 1 &&
         std::equal(image.begin(), image.end(), slot.contents.begin());
}

// What the plan reports for each song against what the keyboard holds now (`before`: its slots before).
inline void ExpectReportedAsHeld(const ModelDraw& d, const SendPlan& plan, const PlanOutcome& outcome,
                                 const std::vector<KeyboardSlot>& before, const VirtualKeyboard& keyboard) {
  static const char* const kFates[] = {"stored", "not begun", "failed", "declined", "unknown"};
  std::vector<KeyboardSlot> held;
  for (std::size_t i = 0; i < keyboard.SlotCount(); ++i) held.push_back(keyboard.Slot(i));
  ASSERT_EQ(outcome.songs.size(), plan.songs.size());
  bool everyFitStored = true;
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    const SongOutcome& reported = outcome.songs[i];
    SCOPED_TRACE("song " + std::to_string(i) + " (" + std::to_string(song.size) + " bytes, slot " +
                 std::to_string(song.slot) + (song.fits ? ", fits" : ", does not fit") + "): reported " +
                 kFates[static_cast<int>(reported.fate)]);
    if (song.fits && reported.fate != SongFate::Stored) everyFitStored = false;
    EXPECT_NE(reported.fate, SongFate::Declined);
    // A song is in no slot but its own, and in its own exactly when the plan says it is stored.
    for (std::size_t slot = 0; slot < held.size(); ++slot) {
      if (slot != song.slot || !song.hasSlot) {
        EXPECT_FALSE(HoldsImage(held[slot], d.images[i])) << "in slot " << slot;
      }
    }
    if (!song.hasSlot) continue;
    const bool holds = HoldsImage(held[song.slot], d.images[i]);
    switch (reported.fate) {
      case SongFate::Stored: EXPECT_TRUE(holds); break;
      case SongFate::Unknown: EXPECT_FALSE(outcome.readAfter) << "unknown though the slots were read after"; break;
      case SongFate::NotBegun:
        EXPECT_FALSE(holds);
        EXPECT_EQ(held[song.slot].size, before[song.slot].size) << "a song not begun changed its slot";
        break;
      default: EXPECT_FALSE(holds);
    }
    if (outcome.readAfter && reported.fate == SongFate::Failed) {
      EXPECT_EQ(reported.slotEmptied, song.replaces && held[song.slot].status != 1);
    }
  }
  // The plan ended well exactly when every song that fits is stored (and, refused whole, when all fit).
  EXPECT_EQ(!outcome.failure, everyFitStored && (d.unfit == UnfitSongs::SendWhatFits || plan.AllFit()));
  if (d.unfit == UnfitSongs::RefuseWhole) {
    EXPECT_EQ(outcome.AllStored(), !outcome.failure);
  }
}

}  // namespace su::test
