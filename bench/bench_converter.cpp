// Converter throughput, bytes per second counted in MIDI input bytes.
//   - Realistic songs (about 50 KB / 9 tracks, 1 MB / 25 tracks, 14 MB / 65 tracks; realistic_song.h): the
//     reader alone and the whole conversion as the library does it, in this long-lived process, where the
//     allocator has memory at hand from earlier iterations. The same conversions with fresh memory each
//     time are measured by converter_fresh.sh (one process per conversion).
//   - A random song with long sequencer-specific events (the earlier shape), kept for comparison.
#include <benchmark/benchmark.h>

#include <random>

#include "bench/realistic_song.h"
#include "converter/midi_file.h"
#include "converter/song_image.h"
#include "converter/song_convert.h"
#include "tests/converter/smf_builder.h"

namespace {

using namespace su::conv;

const su::test::Bytes& RandomSong() {
  static const su::test::Bytes bytes = [] {
    std::mt19937 rng(42);
    su::test::SongShape shape;
    shape.tracks = 16;
    shape.eventsPerTrack = 60000;
    shape.maxDelta = 120;
    return su::test::GenerateSong(rng, shape).bytes;
  }();
  return bytes;
}

const su::bench::Bytes& Realistic(std::size_t index) {
  static std::vector<su::bench::Bytes> songs;
  if (songs.empty()) {
    for (const auto& shape : su::bench::RealisticShapes()) songs.push_back(su::bench::RealisticSong(shape));
  }
  return songs[index];
}

void Read(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  for (auto _ : state) {
    MidiFile file;
    if (ReadMidiFile(bytes.data(), bytes.size(), &file) != MidiError::None) state.SkipWithError("refused");
    benchmark::DoNotOptimize(file.events.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["input_KB"] = double(bytes.size()) / 1024.0;
}

// What ConvertSqfToPK does between reading the file and writing the song file, in memory.
void Convert(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  for (auto _ : state) {
    SongInfo info;
    info.modelCode = "f0";
    info.padToWords = true;
    std::vector<std::uint8_t> songFile;
    if (BuildSong(bytes.data(), bytes.size(), "bench", SongOutput::SongFile, &info, &songFile) != BuildResult::Built) {
      state.SkipWithError("refused");
    }
    benchmark::DoNotOptimize(songFile.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["input_KB"] = double(bytes.size()) / 1024.0;
}

void BM_ReadRealistic(benchmark::State& state) { Read(state, Realistic(static_cast<std::size_t>(state.range(0)))); }
void BM_ConvertRealistic(benchmark::State& state) {
  Convert(state, Realistic(static_cast<std::size_t>(state.range(0))));
}
void BM_ReadRandomSong(benchmark::State& state) { Read(state, RandomSong()); }
void BM_ConvertRandomSong(benchmark::State& state) { Convert(state, RandomSong()); }

void RealisticArgs(benchmark::internal::Benchmark* b) {
  for (std::size_t i = 0; i < su::bench::RealisticShapes().size(); ++i) {
    b->Arg(static_cast<std::int64_t>(i));
  }
  b->ArgName("song")->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_ReadRealistic)->Apply(RealisticArgs);
BENCHMARK(BM_ConvertRealistic)->Apply(RealisticArgs);
BENCHMARK(BM_ReadRandomSong)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertRandomSong)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
