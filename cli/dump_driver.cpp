#include "cli/dump_driver.h"

#include <cstdio>

namespace su::cli {

std::uint32_t DumpingDriver::InBytesRecorded() {
  const std::uint32_t recorded = inner_.InBytesRecorded();
  if (recorded > 0 && inBuffer_ != nullptr) Dump("<", inBuffer_, recorded, "");
  return recorded;
}

bool DumpingDriver::SendOut() {
  const bool sent = inner_.SendOut();
  if (outData_ != nullptr) Dump(">", outData_, outSize_, sent ? "" : "  (refused)");
  return sent;
}

void DumpingDriver::Dump(const char* direction, const std::uint8_t* bytes, std::uint32_t size, const char* note) {
  const auto now = std::chrono::steady_clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
  char head[32];
  std::snprintf(head, sizeof head, "%4lld.%03lld %s", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000), direction);
  std::string line = head;
  for (std::uint32_t i = 0; i < size; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
    line += hex;
  }
  out_ << line << note << '\n' << std::flush;
}

}  // namespace su::cli
