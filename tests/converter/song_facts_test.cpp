// What a song is before it is converted: tracks, notes, and how long it plays by its tempo map.
#include "converter/song_facts.h"

#include <gtest/gtest.h>

#include "tests/converter/smf_builder.h"

namespace su::conv {
namespace {

using test::Bytes;
using test::TrackBytes;

const Bytes kTempo60 = {0x0F, 0x42, 0x40};  // 1 000 000 microseconds a quarter note

struct FactsCase {
  const char* name;
  Bytes midi;
  std::uint16_t tracks;
  std::uint64_t notes;
  std::uint64_t lengthMs;
};
void PrintTo(const FactsCase& c, std::ostream* os) { *os << c.name; }

class SongFactsTest : public ::testing::TestWithParam<FactsCase> {};

TEST_P(SongFactsTest, TracksNotesAndLengthByTheTempoMap) {
  const FactsCase& c = GetParam();
  SongFacts facts;
  ASSERT_EQ(ReadSongFacts(c.midi.data(), c.midi.size(), &facts), MidiError::None);
  EXPECT_EQ(facts.trackCount, c.tracks);
  EXPECT_EQ(facts.noteCount, c.notes);
  EXPECT_EQ(facts.lengthMs, c.lengthMs);
}

INSTANTIATE_TEST_SUITE_P(
    Songs, SongFactsTest,
    ::testing::Values(
        // One quarter note at the default 120 beats a minute; the note-off as a note-on of velocity 0.
        FactsCase{"OneNoteAtTheDefaultTempo", test::OneNoteSong(), 1, 1, 500},
        // Two beats at 120, then the tempo halves for four beats: 1 s + 4 s. The tempo sits in the first
        // track, the notes (three, one of them silent) in the second.
        FactsCase{"ATempoChangeInAnotherTrack",
                  test::Smf(1, 480,
                            {TrackBytes().Delta(960).Meta(0x51, kTempo60).Delta(1920).Raw({0xFF, 0x2F, 0x00}),
                             TrackBytes()
                                 .Delta(0).Raw({0x90, 60, 100})
                                 .Delta(100).Raw({0x90, 62, 0})
                                 .Delta(100).Raw({0x90, 64, 90})
                                 .Delta(100).Raw({0x91, 67, 80})
                                 .End()}),
                  2, 3, 5000},
        // 25 frames a second of 40 ticks: 1000 ticks are one second, whatever the tempo says.
        FactsCase{"SmpteTimeIgnoresTheTempo",
                  test::Smf(0, 0xE728, {TrackBytes().Delta(0).Meta(0x51, kTempo60).Delta(1000).Raw({0xFF, 0x2F, 0x00})}), 1, 0,
                  1000}),
    [](const ::testing::TestParamInfo<FactsCase>& info) { return std::string(info.param.name); });

TEST(SongFacts, ABrokenFileIsTheReadersError) {
  const Bytes broken = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0};
  SongFacts facts;
  facts.noteCount = 7;
  EXPECT_NE(ReadSongFacts(broken.data(), broken.size(), &facts), MidiError::None);
  EXPECT_EQ(facts.noteCount, 0u);
}

}  // namespace
}  // namespace su::conv
