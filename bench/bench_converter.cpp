// Converter throughput on a large generated song held in memory: the MIDI reader alone, and the whole
// conversion (reader, title, song image, song file). Bytes per second are counted in MIDI input bytes.
// Targets on the development machine: reader >= 200 MB/s, whole conversion >= 100 MB/s.
#include <benchmark/benchmark.h>

#include <random>

#include "converter/midi_file.h"
#include "converter/song_image.h"
#include "tests/converter/smf_builder.h"

namespace {

using namespace su::conv;

const su::test::Bytes& LargeSong() {
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

void BM_ReadMidiFile(benchmark::State& state) {
  const su::test::Bytes& bytes = LargeSong();
  for (auto _ : state) {
    MidiFile file;
    if (ReadMidiFile(bytes.data(), bytes.size(), &file) != MidiError::None) state.SkipWithError("refused");
    benchmark::DoNotOptimize(file.events.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["input_MB"] = double(bytes.size()) / 1e6;
}
BENCHMARK(BM_ReadMidiFile)->Unit(benchmark::kMillisecond);

void BM_ConvertToSongFile(benchmark::State& state) {
  const su::test::Bytes& bytes = LargeSong();
  for (auto _ : state) {
    MidiFile file;
    if (ReadMidiFile(bytes.data(), bytes.size(), &file) != MidiError::None) state.SkipWithError("refused");
    SongInfo info;
    info.title = SongTitleOf(file, "bench");
    info.modelCode = "f0";
    info.padToWords = true;
    std::vector<std::uint8_t> image;
    WriteSongImage(file, info, &image);
    const std::vector<std::uint8_t> songFile = WriteSongFile(image);
    benchmark::DoNotOptimize(songFile.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ConvertToSongFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
