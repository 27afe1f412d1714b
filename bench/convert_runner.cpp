// A small converter runner for measuring conversions with fresh memory: each process converts one file once,
// as the program does. converter_fresh.sh starts it many times.
//   convert_runner songs DIR        writes the realistic songs as DIR/<label>.mid
//   convert_runner convert FILE     converts FILE into its song file once; prints the conversion's time in µs
//   convert_runner idle             does nothing (the process's own memory, for the peak-memory baseline)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/realistic_song.h"
#include "converter/sqfconv2.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "idle") return 0;
  if (mode == "songs" && argc == 3) {
    for (const auto& shape : su::bench::RealisticShapes()) {
      const su::bench::Bytes bytes = su::bench::RealisticSong(shape);
      const std::string path = std::string(argv[2]) + "/" + shape.label + ".mid";
      std::FILE* file = std::fopen(path.c_str(), "wb");
      if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return 1;
      std::fclose(file);
      std::printf("%s %zu\n", path.c_str(), bytes.size());
    }
    return 0;
  }
  if (mode == "convert" && argc == 3) {
    const auto start = std::chrono::steady_clock::now();
    const int result = ConvertSqfToPK(argv[2], "5", "", "");
    const auto took = std::chrono::steady_clock::now() - start;
    if (result != SQFCONV2_OK) {
      std::fprintf(stderr, "conversion failed: %d\n", result);
      return 1;
    }
    std::printf("%lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
    return 0;
  }
  std::fprintf(stderr, "usage: convert_runner songs DIR | convert FILE | idle\n");
  return 2;
}
