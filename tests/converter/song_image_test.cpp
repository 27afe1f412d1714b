// The song image and song file: MIDI file -> image -> events gives back the merged stream, and damaged images
// and files are refused without reading past their end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>

#include "converter/song_image.h"
#include "tests/converter/smf_builder.h"
#include "tests/support/case_name.h"

namespace su::conv {
namespace {

using test::Bytes;
using test::TrackBytes;

std::vector<std::uint8_t> ImageOf(const Bytes& midi, const SongInfo& info, MidiFile* file) {
  EXPECT_EQ(ReadMidiFile(midi.data(), midi.size(), file), MidiError::None);
  std::vector<std::uint8_t> image;
  EXPECT_TRUE(WriteSongImage(*file, info, &image));
  return image;
}

// Decodes from an exactly sized heap copy, so that the address sanitizer sees any read past the end.
bool Decode(const std::uint8_t* data, std::size_t size, SongImage* image) {
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size + 1]);
  if (size > 0) std::memcpy(copy.get(), data, size);
  return ReadSongImage(copy.get(), size, image);
}

std::string Describe(const SongEvent& e) {
  std::string out = "tick " + std::to_string(e.tick) + " status " + std::to_string(e.status) + " type " +
                    std::to_string(e.type) + " data";
  for (int i = 0; i < e.size; ++i) out += " " + std::to_string(e.data[i]);
  return out;
}

void ExpectSameEvents(const std::vector<SongEvent>& got, const std::vector<SongEvent>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(got[i], want[i]) << "event " << i << ": got " << Describe(got[i]) << ", want " << Describe(want[i]);
  }
}

struct RoundTrip {
  const char* name;
  test::SongShape shape;
  unsigned seeds;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

class ImageRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(ImageRoundTrip, DecodedEventsEqualTheMergedStream) {
  for (unsigned seed = 1; seed <= GetParam().seeds; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const test::GeneratedSong song = test::GenerateSong(rng, GetParam().shape);
    for (bool rmid : {false, true}) {
      MidiFile file;
      SongInfo info;
      info.title = "Title";
      info.modelCode = "0a";
      info.modelInfo = "01020304";
      const Bytes midi = rmid ? test::Rmid(song.bytes) : song.bytes;  // the file's payloads point into it
      const std::vector<std::uint8_t> image = ImageOf(midi, info, &file);
      SongImage decoded;
      ASSERT_TRUE(Decode(image.data(), image.size(), &decoded));
      ExpectSameEvents(decoded.events, song.expected);
      EXPECT_EQ(decoded.endTick, song.endTick);
      EXPECT_EQ(decoded.division, 480);
      EXPECT_EQ(decoded.title, "Title");
      EXPECT_EQ(decoded.modelCode, "0a");
      EXPECT_EQ(decoded.modelInfo, "01020304");
      EXPECT_EQ(SongTitleOf(file, "fallback"), song.firstName.empty() ? "fallback" : song.firstName);
    }
  }
}

test::SongShape Shape(int tracks, int events, bool format0, std::uint32_t maxDelta) {
  test::SongShape s;
  s.tracks = tracks;
  s.eventsPerTrack = events;
  s.format0 = format0;
  s.maxDelta = maxDelta;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Songs, ImageRoundTrip,
    ::testing::Values(RoundTrip{"Format0", Shape(1, 400, true, 300), 20},
                      RoundTrip{"ManyTracksDenseTimes", Shape(12, 150, false, 3), 10},
                      RoundTrip{"FewTracksWideDeltas", Shape(3, 100, false, 0x0FFFFFFF / 400), 10},
                      RoundTrip{"TracksWithNoEvents", Shape(4, 0, false, 10), 3}),
    su::test::NameFrom(&RoundTrip::name));

TEST(SongImage, GapsWiderThanAMidiDeltaSurviveDroppedEvents) {
  // Text events in between are left out, so the image must carry one delta of 2 * 0x0FFFFFFF + 1 ticks.
  TrackBytes t;
  t.Delta(0).Raw({0x90, 1, 1}).Delta(0x0FFFFFFF).Text(0x01, "a").Delta(0x0FFFFFFF).Text(0x01, "b");
  t.Delta(1).Raw({0x80, 1, 0}).End();
  MidiFile file;
  const std::vector<std::uint8_t> image = ImageOf(test::Smf(0, 96, {t}), SongInfo(), &file);
  SongImage decoded;
  ASSERT_TRUE(Decode(image.data(), image.size(), &decoded));
  ASSERT_EQ(decoded.events.size(), 2u);
  EXPECT_EQ(decoded.events[1].tick, 2u * 0x0FFFFFFFu + 1u);
}

TEST(SongImage, WordModelsGetAnEvenLengthOthersAreNotPadded) {
  // One note-on makes the event stream 4 bytes; the title's length then decides the parity.
  TrackBytes t;
  t.Delta(0).Raw({0x90, 60, 1}).End();
  MidiFile file;
  const Bytes midi = test::Smf(0, 96, {t});
  for (const char* title : {"odd", "even"}) {
    for (const char* code : {"f0", "e1", "e2", "e3", "0a", ""}) {
      SongInfo info;
      info.title = title;
      info.modelCode = code;
      info.padToWords = IsWordModel(code);
      const std::vector<std::uint8_t> image = ImageOf(midi, info, &file);
      const std::size_t unpadded = kImageHeaderSize + 3 + info.title.size() + info.modelCode.size() + 4;
      SongImage decoded;
      ASSERT_TRUE(Decode(image.data(), image.size(), &decoded)) << code;
      if (info.padToWords) {
        EXPECT_EQ(image.size() % 2, 0u) << "model " << code << ", title " << title;
        EXPECT_EQ(decoded.padded, unpadded % 2 == 1);
      } else {
        EXPECT_EQ(image.size(), unpadded) << "model " << code << ", title " << title;
      }
      EXPECT_EQ(decoded.events.size(), 1u);
    }
  }
}

TEST(SongImage, TitleIsTheFirstPrintableNameElseTheFallback) {
  struct Case {
    std::vector<std::string> names;  // one track each, in this order
    std::string want;
  };
  const std::string longName(80, 'L');
  const std::vector<Case> cases = {
      {{"  Spaced Out  "}, "Spaced Out"},
      {{"   ", "Second"}, "Second"},
      {{std::string("Bad\x01", 4), "Good"}, "Good"},
      {{std::string("\xE9t\xE9", 3)}, "fallback"},
      {{longName}, longName.substr(0, kMaxTitleLength)},
      {{}, "fallback"},
  };
  for (const Case& c : cases) {
    std::vector<TrackBytes> tracks;
    for (const std::string& name : c.names) tracks.push_back(TrackBytes().Delta(0).Text(0x03, name).End());
    if (tracks.empty()) tracks.push_back(TrackBytes().End());
    const Bytes midi = test::Smf(1, 96, tracks);
    MidiFile file;
    ASSERT_EQ(ReadMidiFile(midi.data(), midi.size(), &file), MidiError::None);
    EXPECT_EQ(SongTitleOf(file, "fallback"), c.want);
    // The image written while the tracks are merged finds the same title on the way.
    MidiTracks found;
    ASSERT_EQ(FindMidiTracks(midi.data(), midi.size(), &found), MidiError::None);
    SongInfo info;
    std::vector<std::uint8_t> image;
    ASSERT_EQ(WriteSongImage(found, "fallback", &info, &image), BuildResult::Built);
    EXPECT_EQ(info.title, c.want);
  }
  MidiFile empty;
  EXPECT_EQ(SongTitleOf(empty, std::string(100, 'f')), std::string(kMaxTitleLength, 'f'));
}

// The image written while the tracks are merged is byte for byte the image of the whole merged stream, and
// holds the events in the order worked out independently by the generator: simultaneous events of many
// tracks in track order, long deltas, one track, so many tracks that each is decoded an event at a time,
// words padded or not.
TEST(SongImage, MergingWhileWritingGivesTheSameImage) {
  struct Case {
    const char* name;
    test::SongShape shape;
    bool padToWords;
  };
  const Case cases[] = {
      {"forty tracks mostly at the same times", Shape(40, 60, false, 2), false},
      {"sixty-five tracks padded", Shape(65, 30, false, 5), true},
      {"long deltas", Shape(4, 50, false, 3000000), true},
      {"one track", Shape(1, 300, true, 100), false},
      {"tracks without events", Shape(3, 0, false, 10), false},
      {"five thousand tracks, a few events each", Shape(5000, 3, false, 2), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(5);
    const test::GeneratedSong song = test::GenerateSong(rng, c.shape);
    SongInfo whole;
    whole.modelCode = "f0";
    whole.padToWords = c.padToWords;
    MidiFile file;
    ASSERT_EQ(ReadMidiFile(song.bytes.data(), song.bytes.size(), &file), MidiError::None);
    whole.title = SongTitleOf(file, "fallback");
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(WriteSongImage(file, whole, &expected));

    MidiTracks scanned;
    ASSERT_EQ(ScanMidiFile(song.bytes.data(), song.bytes.size(), &scanned), MidiError::None);
    EXPECT_EQ(scanned.eventCount, file.events.size());
    MidiTracks found;
    ASSERT_EQ(FindMidiTracks(song.bytes.data(), song.bytes.size(), &found), MidiError::None);
    SongInfo merging;
    merging.modelCode = "f0";
    merging.padToWords = c.padToWords;
    std::vector<std::uint8_t> image;
    ASSERT_EQ(WriteSongImage(found, "fallback", &merging, &image), BuildResult::Built);
    EXPECT_EQ(merging.title, whole.title);
    EXPECT_TRUE(image == expected) << "the images differ (" << image.size() << " and " << expected.size()
                                   << " bytes)";
    // The song file written around the image in one buffer is the image wrapped afterwards.
    SongInfo filed = merging;
    std::vector<std::uint8_t> songFile;
    ASSERT_EQ(WriteSongFile(found, "fallback", &filed, &songFile), BuildResult::Built);
    EXPECT_TRUE(songFile == WriteSongFile(expected)) << "the song files differ";
    SongImage decoded;
    ASSERT_TRUE(Decode(image.data(), image.size(), &decoded));
    EXPECT_TRUE(decoded.events == song.expected) << "the merged order is not time, track, then file order";
  }
}

// The image is written into a buffer sized from the tracks' bytes alone. Its worst cases: one-byte program
// changes under running status, which need their status again once two tracks take turns, and kept events
// whose long deltas were carried by dropped ones. The image stays right and the buffer is never enlarged.
TEST(SongImage, WorstCasesFitTheBufferSizedFromTheTracks) {
  TrackBytes turns[2];
  TrackBytes gaps;
  for (int i = 0; i < 400; ++i) {
    for (int t = 0; t < 2; ++t) {
      if (i == 0) turns[t].Delta(0).Raw({std::uint8_t(0xC0 + t), 1});
      turns[t].Delta(1).Raw({std::uint8_t(i & 0x7F)});
    }
    gaps.Delta(0x1FFFFF).Text(0x05, "la").Delta(0).Raw({0x92, 60, 1});
  }
  for (TrackBytes* track : {&turns[0], &turns[1], &gaps}) track->End();
  for (const Bytes& midi : {test::Smf(1, 96, {turns[0], turns[1]}), test::Smf(1, 96, {turns[0], turns[1], gaps})}) {
    SongInfo info;
    info.title = "fallback";
    MidiFile file;
    const std::vector<std::uint8_t> expected = ImageOf(midi, info, &file);

    MidiTracks found;
    ASSERT_EQ(FindMidiTracks(midi.data(), midi.size(), &found), MidiError::None);
    SongInfo merging;
    std::vector<std::uint8_t> image;
    ASSERT_EQ(WriteSongImage(found, "fallback", &merging, &image), BuildResult::Built);
    EXPECT_TRUE(image == expected) << "the images differ";
    // A buffer that had to grow is at least twice the first one: 1.5 times the tracks' bytes and a little.
    EXPECT_LT(image.capacity(), found.trackBytes * 3 / 2 + 200) << "the buffer was enlarged";
  }
}

std::vector<std::uint8_t> SampleImage() {
  std::mt19937 rng(11);
  const test::GeneratedSong song = test::GenerateSong(rng, Shape(2, 40, false, 100));
  MidiFile file;
  SongInfo info;
  info.title = "Sample";
  return ImageOf(song.bytes, info, &file);
}

TEST(SongImage, ReaderRefusesEveryTruncationAndHeaderDamage) {
  const std::vector<std::uint8_t> image = SampleImage();
  SongImage decoded;
  for (std::size_t n = 0; n < image.size(); ++n) {
    EXPECT_FALSE(Decode(image.data(), n, &decoded)) << "an image cut to " << n << " bytes was accepted";
  }
  struct Damage {
    std::size_t at;
    std::uint8_t value;
    const char* what;
  };
  for (const Damage& d : {Damage{0, 'X', "magic"}, Damage{4, 2, "version"}, Damage{5, 0x02, "flags"},
                          Damage{11, 0xFF, "event count"}, Damage{15, 0x01, "stream length"},
                          Damage{20, 0xFF, "title length"}}) {
    std::vector<std::uint8_t> bad = image;
    bad[d.at] = d.value;
    EXPECT_FALSE(Decode(bad.data(), bad.size(), &decoded)) << d.what;
  }
  std::vector<std::uint8_t> early = image;
  std::fill(early.begin() + 16, early.begin() + 20, 0);
  EXPECT_FALSE(Decode(early.data(), early.size(), &decoded)) << "end tick before the last event";
  std::vector<std::uint8_t> longer = image;
  longer.push_back(0);
  EXPECT_FALSE(Decode(longer.data(), longer.size(), &decoded)) << "a trailing byte";
}

TEST(SongImage, ReaderSurvivesRandomDamage) {
  const std::vector<std::uint8_t> image = SampleImage();
  std::mt19937 rng(3);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> bad = image;
    for (int flips = 1 + int(rng() % 4); flips > 0; --flips) bad[rng() % bad.size()] ^= std::uint8_t(1u << (rng() % 8));
    SongImage decoded;
    if (Decode(bad.data(), bad.size(), &decoded)) {
      // Whatever is accepted must still be a consistent, time-ordered stream.
      for (std::size_t i = 1; i < decoded.events.size(); ++i)
        ASSERT_LE(decoded.events[i - 1].tick, decoded.events[i].tick);
    }
  }
}

TEST(SongImage, TitleReaderReadsOnlyTheHeader) {
  const std::vector<std::uint8_t> image = SampleImage();
  std::string title;
  ASSERT_TRUE(ReadSongImageTitle(image.data(), image.size(), &title));
  EXPECT_EQ(title, "Sample");
  EXPECT_TRUE(ReadSongImageTitle(image.data(), kImageHeaderSize + 1 + title.size(), &title));
  EXPECT_FALSE(ReadSongImageTitle(image.data(), kImageHeaderSize + title.size(), &title));
  EXPECT_FALSE(ReadSongImageTitle(image.data(), 3, &title));
}

TEST(SongFile, WrapsTheImageAndDetectsAnyChangedByte) {
  const std::vector<std::uint8_t> image = SampleImage();
  const std::vector<std::uint8_t> file = WriteSongFile(image);
  ASSERT_EQ(file.size(), kSongFileHeaderSize + image.size());
  std::size_t offset = 0, size = 0;
  ASSERT_TRUE(ReadSongFile(file.data(), file.size(), &offset, &size));
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + std::ptrdiff_t(offset), file.begin() + std::ptrdiff_t(offset + size)),
            image);
  for (std::size_t i = 0; i < file.size(); ++i) {
    std::vector<std::uint8_t> bad = file;
    bad[i] ^= 0x10;
    EXPECT_FALSE(ReadSongFile(bad.data(), bad.size(), &offset, &size)) << "byte " << i << " changed";
  }
  EXPECT_FALSE(ReadSongFile(file.data(), file.size() - 1, &offset, &size));
}

TEST(SongFile, ChecksumIsTheCommonCrc32) {
  const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(SongCrc32(check, sizeof check), 0xCBF43926u);
  EXPECT_EQ(SongCrc32(check + 4, 5, SongCrc32(check, 4)), 0xCBF43926u);  // continued over two pieces
  // Any length and any split, against the checksum worked out a bit at a time.
  std::mt19937 rng(3);
  std::vector<std::uint8_t> bytes(41);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(rng());
  for (std::size_t length = 0; length <= bytes.size(); ++length) {
    std::uint32_t want = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
      want ^= bytes[i];
      for (int k = 0; k < 8; ++k) want = (want >> 1) ^ (0xEDB88320u & (0u - (want & 1u)));
    }
    want = ~want;
    for (std::size_t split = 0; split <= length; ++split) {
      ASSERT_EQ(SongCrc32(bytes.data() + split, length - split, SongCrc32(bytes.data(), split)), want)
          << length << " bytes split at " << split;
    }
  }
}

}  // namespace
}  // namespace su::conv
