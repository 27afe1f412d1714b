#include "base/paths.h"

namespace su {

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  std::size_t rest = 0;
  if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) {
    parts.drive = path.substr(0, 2);
    rest = 2;
  }
  std::size_t nameStart = rest;
  for (std::size_t i = rest; i < path.size(); ++i) {
    if (IsSeparator(path[i])) nameStart = i + 1;
  }
  parts.directory = path.substr(rest, nameStart - rest);
  const std::string fileName = path.substr(nameStart);
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) {
    parts.name = fileName;
  } else {
    parts.name = fileName.substr(0, dot);
    parts.extension = fileName.substr(dot);
  }
  return parts;
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string WorkDirName(std::uint32_t ticks) {
  // The count is read as signed 32 bits whatever the width of long on this platform.
  const std::int64_t value = static_cast<std::int32_t>(ticks);
  return std::to_string(value);
}

std::string WorkDirPath(const std::string& tempPath, std::uint32_t ticks) {
  return WithTrailingBackslash(tempPath) + WorkDirName(ticks) + "\\";
}

std::string StagedPathFor(const std::string& workDir, const std::string& sourcePath) {
  const PathParts parts = SplitPath(sourcePath);
  return workDir + parts.name + parts.extension;
}

std::string StagedNameFor(const std::string& sourcePath) {
  const PathParts parts = SplitPath(sourcePath);
  return parts.name + parts.extension;
}

}  // namespace su
