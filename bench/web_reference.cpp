// The native side of bench/web_page.mjs: writes a realistic song (realistic_song.h; SHAPE 1, the default, is
// the one of about 1 MB, 2 the one of about 14 MB) to the file given and times the conversion the page's
// "Save as .sq2" does, natively: ConvertSqfToPK on that file (read, convert, write the song file beside it).
// Prints {"bytes": N, "medianMs": T, "bestMs": B, "runs": R} on one line.
//   web_reference SONG.mid [RUNS [SHAPE]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/realistic_song.h"
#include "converter/sqfconv2.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: web_reference SONG.mid [RUNS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  const std::size_t index = argc > 3 ? static_cast<std::size_t>(std::atoi(argv[3])) : 1;
  if (index >= su::bench::RealisticShapes().size()) {
    std::fprintf(stderr, "no realistic song of shape %zu\n", index);
    return 2;
  }
  const su::bench::RealisticShape& shape = su::bench::RealisticShapes()[index];
  const su::bench::Bytes song = su::bench::RealisticSong(shape);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(song.data()),
                                              static_cast<std::streamsize>(song.size()));
  std::vector<double> times;
  for (int run = 0; run < runs + 1; ++run) {
    const auto start = std::chrono::steady_clock::now();
    if (ConvertSqfToPK(path.c_str(), "5", "", "") != SQFCONV2_OK) {
      std::fprintf(stderr, "the converter refused the song\n");
      return 1;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (run > 0) times.push_back(ms);  // the first run warms the allocator and the file cache
  }
  std::sort(times.begin(), times.end());
  std::printf("{\"bytes\":%zu,\"medianMs\":%.3f,\"bestMs\":%.3f,\"runs\":%d}\n", song.size(), times[times.size() / 2],
              times.front(), runs);
  return 0;
}
