// The Standard MIDI File reader: what it accepts, how it merges tracks, and every kind of damage it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "converter/midi_file.h"
#include "tests/converter/smf_builder.h"
#include "tests/support/case_name.h"

namespace su::conv {
namespace {

using test::Bytes;
using test::Chunk;
using test::Header;
using test::Smf;
using test::TrackBytes;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

MidiError Read(const Bytes& bytes, MidiFile* file) {
  // An exactly sized heap copy, so that the address sanitizer sees any read past the end.
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  const MidiError error = ReadMidiFile(copy.get(), bytes.size(), file);
  file->source = nullptr;  // the copy dies here; callers only look at the decoded fields
  return error;
}

// The conversion's way of reading: the chunks first, the events checked only as the tracks are merged.
MidiError ReadWhileMerging(const Bytes& bytes) {
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  MidiTracks tracks;
  const MidiError error = FindMidiTracks(copy.get(), bytes.size(), &tracks);
  if (error != MidiError::None) return error;
  MergedEvents merged(tracks);
  MidiEvent event;
  while (merged.Next(&event)) {
  }
  return merged.error();
}

struct Simple {
  std::uint32_t tick;
  std::uint8_t status, data1, data2;
};

std::vector<Simple> ChannelEvents(const MidiFile& file) {
  std::vector<Simple> out;
  for (const MidiEvent& e : file.events)
    if (e.kind == MidiKind::Channel) out.push_back({e.tick, e.status, e.data1, e.data2});
  return out;
}

TEST(MidiReader, RunningStatusCarriesAcrossChannelMessagesOfEveryLength) {
  TrackBytes t;
  t.Delta(0).Raw({0x90, 60, 100}).Delta(10).Raw({62, 90})    // note on, then running status
      .Delta(0).Raw({0xC3, 5}).Delta(5).Raw({6})              // program change: one data byte, running
      .Delta(1).Raw({0xD2, 33}).Delta(1).Raw({0xE1, 0, 64})   // channel pressure, pitch bend
      .Delta(2).Raw({0x00, 0x7F})                             // pitch bend again by running status
      .End();
  MidiFile file;
  ASSERT_EQ(Read(Smf(0, 96, {t}), &file), MidiError::None);
  const std::vector<Simple> got = ChannelEvents(file);
  const std::vector<Simple> want = {{0, 0x90, 60, 100}, {10, 0x90, 62, 90}, {10, 0xC3, 5, 0}, {15, 0xC3, 6, 0},
                                    {16, 0xD2, 33, 0},  {17, 0xE1, 0, 64},  {19, 0xE1, 0, 0x7F}};
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].tick, want[i].tick) << "event " << i;
    EXPECT_EQ(got[i].status, want[i].status) << "event " << i;
    EXPECT_EQ(got[i].data1, want[i].data1) << "event " << i;
    EXPECT_EQ(got[i].data2, want[i].data2) << "event " << i;
  }
  EXPECT_EQ(file.endTick, 19u);
  EXPECT_EQ(file.division, 96);
}

TEST(MidiReader, MergedStreamIsTimeOrderedAndKeepsTrackOrderForEqualTimes) {
  TrackBytes a, b, c;
  a.Delta(0).Raw({0x90, 1, 1}).Delta(100).Raw({0x90, 2, 1}).Delta(0).Raw({0x90, 3, 1}).End();
  b.Delta(50).Raw({0x91, 4, 1}).Delta(50).Raw({0x91, 5, 1}).End();
  c.Delta(0).Raw({0x92, 6, 1}).Delta(100).Raw({0x92, 7, 1}).Delta(300).Raw({0xFF, 0x2F, 0x00});
  MidiFile file;
  ASSERT_EQ(Read(Smf(1, 480, {a, b, c}), &file), MidiError::None);
  std::string order;
  for (const Simple& e : ChannelEvents(file)) order += char('0' + e.data1);
  EXPECT_EQ(order, "1642357");  // tick 0: a then c; 50: b; 100: a, a, b, c
  EXPECT_EQ(file.endTick, 400u);
  EXPECT_EQ(file.trackCount, 3);
}

TEST(MidiReader, MetaAndSysExPayloadsPointIntoTheSource) {
  TrackBytes t;
  t.Delta(0).Text(0x03, "Name").Delta(0).Raw({0xF0, 0x03, 0x7E, 0x01, 0xF7}).Delta(7).Raw({0xF7, 0x02, 0xF0, 0x41});
  t.Delta(0).Raw({0x80, 1, 2}).End();
  const Bytes bytes = Smf(0, 96, {t});
  MidiFile file;
  ASSERT_EQ(ReadMidiFile(bytes.data(), bytes.size(), &file), MidiError::None);
  ASSERT_EQ(file.events.size(), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.source + file.events[0].offset), file.events[0].length),
            "Name");
  EXPECT_EQ(file.events[1].kind, MidiKind::SysEx);
  EXPECT_EQ(file.events[1].status, 0xF0);
  EXPECT_EQ(Bytes(file.source + file.events[1].offset, file.source + file.events[1].offset + 3),
            (Bytes{0x7E, 0x01, 0xF7}));
  EXPECT_EQ(file.events[2].status, 0xF7);
  EXPECT_EQ(file.events[2].tick, 7u);
  EXPECT_EQ(file.events[3].kind, MidiKind::Channel);  // running status was not taken from the SysEx
}

TEST(MidiReader, AcceptsWrapperUnknownChunksLongHeaderAndSmpte) {
  TrackBytes t;
  t.Delta(3).Raw({0x90, 60, 1}).End();
  const Bytes plain = Smf(0, 480, {t});
  MidiFile expected;
  ASSERT_EQ(Read(plain, &expected), MidiError::None);

  Bytes longHeader = Chunk("MThd", {0, 1, 0, 1, 0x01, 0xE0, 0xAA, 0xBB});
  longHeader = Concat({longHeader, Chunk("XYZW", {1, 2, 3}), Chunk("MTrk", t.body), Chunk("MTrk", {0xFF})});
  Bytes smpte = Concat({Header(0, 1, 0xE728), Chunk("MTrk", t.body)});  // -25 frames, 40 ticks per frame

  for (const Bytes& bytes : {test::Rmid(plain), longHeader, smpte}) {
    MidiFile file;
    ASSERT_EQ(Read(bytes, &file), MidiError::None);
    ASSERT_EQ(file.events.size(), 1u);
    EXPECT_EQ(file.events[0].tick, 3u);
    EXPECT_EQ(file.events[0].data1, 60);
  }
}

struct BadCase {
  const char* name;
  Bytes bytes;
  MidiError error;
};

Bytes OneTrack(std::initializer_list<std::uint8_t> body) { return Smf(0, 96, {TrackBytes().Raw(body)}); }

std::vector<BadCase> BadCases() {
  const Bytes good = OneTrack({0x00, 0x90, 60, 1, 0x00, 0xFF, 0x2F, 0x00});
  Bytes riffTooLong = test::Rmid(good);
  riffTooLong[4] += 2;
  Bytes riffNoData = {'R', 'I', 'F', 'F', 12, 0, 0, 0, 'R', 'M', 'I', 'D', 'L', 'I', 'S', 'T', 0, 0, 0, 0};
  Bytes dataTooLong = test::Rmid(good);
  dataTooLong[16] += 4;
  Bytes trackPastEnd = good;
  trackPastEnd[21] += 1;
  Bytes headerPastEnd = good;
  headerPastEnd[7] = 0xF0;
  // Seventeen maximal deltas add up to more than 32 bits of time.
  TrackBytes far;
  far.Delta(0x0FFFFFFF).Raw({0x90, 1, 1});
  for (int i = 0; i < 16; ++i) far.Delta(0x0FFFFFFF).Raw({1, 1});
  const Bytes farTime = Smf(0, 96, {far.End()});
  return {
      {"Empty", {}, MidiError::TooShort},
      {"HalfAHeader", {'M', 'T', 'h', 'd', 0, 0}, MidiError::TooShort},
      {"NoHeader", Concat({Chunk("MTrk", {0, 0xFF, 0x2F, 0}), Header(0, 1, 96)}), MidiError::NoHeader},
      {"HeaderTooShort", Chunk("MThd", {0, 0, 0, 1, 0}), MidiError::BadHeader},
      {"HeaderPastEnd", headerPastEnd, MidiError::ChunkPastEnd},
      {"Format2", Concat({Header(2, 1, 96), Chunk("MTrk", {0, 0xFF, 0x2F, 0})}), MidiError::UnsupportedFormat},
      {"ZeroTracks", Header(1, 0, 96), MidiError::NoTracks},
      {"Format0WithTwoTracks", Smf(0, 96, {TrackBytes().End(), TrackBytes().End()}), MidiError::BadHeader},
      {"ZeroDivision", Concat({Header(0, 1, 0), Chunk("MTrk", {0, 0xFF, 0x2F, 0})}), MidiError::BadDivision},
      {"SmpteRateUnknown", Concat({Header(0, 1, 0xE928), Chunk("MTrk", {0, 0xFF, 0x2F, 0})}),
       MidiError::BadDivision},
      {"SmpteZeroTicks", Concat({Header(0, 1, 0xE700), Chunk("MTrk", {0, 0xFF, 0x2F, 0})}), MidiError::BadDivision},
      {"TrackPastEnd", trackPastEnd, MidiError::ChunkPastEnd},
      {"TrackHeaderCut", Concat({Header(1, 1, 96), {'M', 'T', 'r', 'k', 0}}), MidiError::MissingTrack},
      {"FewerTracksThanDeclared", Concat({Header(1, 3, 96), Chunk("MTrk", {0, 0xFF, 0x2F, 0}),
                                         Chunk("MTrk", {0, 0xFF, 0x2F, 0}), Chunk("JUNK", {})}),
       MidiError::MissingTrack},
      {"AbsurdTrackCount", Concat({Header(1, 0xFFFF, 96), Chunk("MTrk", {0, 0xFF, 0x2F, 0})}),
       MidiError::MissingTrack},
      {"FiveByteDelta", OneTrack({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1, 0, 0xFF, 0x2F, 0}), MidiError::BadVlq},
      {"DeltaCutOff", OneTrack({0x81}), MidiError::BadVlq},
      {"RunningStatusWithoutStatus", OneTrack({0x00, 60, 100, 0, 0xFF, 0x2F, 0}), MidiError::NoRunningStatus},
      {"RunningStatusAfterMeta", OneTrack({0, 0x90, 1, 1, 0, 0xFF, 0x01, 0, 0, 60, 1, 0, 0xFF, 0x2F, 0}),
       MidiError::NoRunningStatus},
      {"SystemCommonStatus", OneTrack({0x00, 0xF2, 1, 1, 0, 0xFF, 0x2F, 0}), MidiError::BadStatus},
      {"RealTimeStatus", OneTrack({0x00, 0xF8, 0, 0xFF, 0x2F, 0}), MidiError::BadStatus},
      {"DataByteWithTopBit", OneTrack({0x00, 0x90, 60, 0x80, 0, 0xFF, 0x2F, 0}), MidiError::BadData},
      {"ChannelMessageCut", OneTrack({0x00, 0x90, 60}), MidiError::BadData},
      {"StatusMissingAfterDelta", OneTrack({0x00}), MidiError::BadData},
      {"MetaPastEnd", OneTrack({0x00, 0xFF, 0x01, 0x10, 'a', 0, 0xFF, 0x2F, 0}), MidiError::EventPastEnd},
      {"MetaLengthCut", OneTrack({0x00, 0xFF, 0x01, 0x81}), MidiError::BadVlq},
      {"MetaTypeWithTopBit", OneTrack({0x00, 0xFF, 0x81, 0, 0, 0xFF, 0x2F, 0}), MidiError::BadMeta},
      {"SysExPastEnd", OneTrack({0x00, 0xF0, 0x7F, 0xF7, 0, 0xFF, 0x2F, 0}), MidiError::EventPastEnd},
      {"TempoOfTwoBytes", OneTrack({0x00, 0xFF, 0x51, 2, 7, 0xA1, 0, 0xFF, 0x2F, 0}), MidiError::BadMeta},
      {"TimeSignatureOfFiveBytes", OneTrack({0x00, 0xFF, 0x58, 5, 4, 2, 24, 8, 0, 0, 0xFF, 0x2F, 0}),
       MidiError::BadMeta},
      {"EndOfTrackWithPayload", OneTrack({0x00, 0xFF, 0x2F, 1, 0}), MidiError::BadMeta},
      {"MissingEndOfTrack", OneTrack({0x00, 0x90, 60, 1}), MidiError::MissingEndOfTrack},
      {"EmptyTrack", OneTrack({}), MidiError::MissingEndOfTrack},
      {"EventAfterEndOfTrack", OneTrack({0, 0xFF, 0x2F, 0, 0, 0x90, 1, 1}), MidiError::MissingEndOfTrack},
      {"TimeBeyond32Bits", farTime, MidiError::TooLong},
      {"RiffSizePastEnd", riffTooLong, MidiError::BadRiff},
      {"RiffWithoutData", riffNoData, MidiError::BadRiff},
      {"RiffDataPastEnd", dataTooLong, MidiError::BadRiff},
      {"RiffNotRmid", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, MidiError::BadRiff},
  };
}

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class MidiReaderRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(MidiReaderRefuses, WithTheRightError) {
  MidiFile file;
  const MidiError error = Read(GetParam().bytes, &file);
  EXPECT_EQ(error, GetParam().error) << "got \"" << MidiErrorName(error) << "\", want \""
                                     << MidiErrorName(GetParam().error) << "\"";
  EXPECT_TRUE(file.events.empty());
  EXPECT_EQ(MidiErrorName(ReadWhileMerging(GetParam().bytes)), MidiErrorName(GetParam().error))
      << "the conversion's reading differs";
}

INSTANTIATE_TEST_SUITE_P(BadFiles, MidiReaderRefuses, ::testing::ValuesIn(BadCases()),
                         su::test::NameFrom(&BadCase::name));

TEST(MidiReader, EveryTruncationOfAValidFileIsRefused) {
  std::mt19937 rng(5);
  test::SongShape shape;
  shape.tracks = 2;
  shape.eventsPerTrack = 30;
  const test::GeneratedSong song = test::GenerateSong(rng, shape);
  for (const Bytes& whole : {song.bytes, test::Rmid(song.bytes)}) {
    MidiFile file;
    ASSERT_EQ(Read(whole, &file), MidiError::None);
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_NE(Read(cut, &file), MidiError::None) << "a file cut to " << n << " of " << whole.size()
                                                   << " bytes was accepted";
      EXPECT_NE(ReadWhileMerging(cut), MidiError::None) << "the conversion accepted a file cut to " << n;
    }
  }
}

}  // namespace
}  // namespace su::conv
