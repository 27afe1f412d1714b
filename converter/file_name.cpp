#include "converter/file_name.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace su::conv {

namespace {

struct NameSpan {
  std::size_t start;  // first byte of the file name
  std::size_t dot;    // the extension's dot, or npos
};

// One walk over the path, character by character.
NameSpan FindName(const std::string& path, LeadBytePredicate isLead) {
  NameSpan span{0, std::string::npos};
  for (std::size_t i = 0; i < path.size();) {
    if (isLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    const char c = path[i++];
    if (c == '/' || c == '\\' || c == ':') {
      span.start = i;
      span.dot = std::string::npos;
    } else if (c == '.') {
      span.dot = i - 1;
    }
  }
  return span;
}

}  // namespace

bool SystemLeadByte(unsigned char byte) {
#ifdef _WIN32
  return IsDBCSLeadByte(byte) != FALSE;
#else
  (void)byte;
  return false;
#endif
}

std::string WithExtension(const std::string& path, const char* extension, LeadBytePredicate isLead) {
  const NameSpan span = FindName(path, isLead);
  return (span.dot == std::string::npos ? path : path.substr(0, span.dot)) + extension;
}

std::string TitleFromPath(const std::string& path, std::size_t maxBytes, LeadBytePredicate isLead) {
  const NameSpan span = FindName(path, isLead);
  const std::size_t end = span.dot == std::string::npos ? path.size() : span.dot;
  std::size_t cut = span.start;
  while (cut < end) {
    const std::size_t length = (isLead(static_cast<unsigned char>(path[cut])) && cut + 1 < end) ? 2 : 1;
    if (cut + length - span.start > maxBytes) break;
    cut += length;
  }
  return path.substr(span.start, cut - span.start);
}

}  // namespace su::conv
