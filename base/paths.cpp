#include "base/paths.h"

#include "base/code_page.h"

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
  // Walked by characters of the ANSI code page: the second byte of a double-byte character is neither a
  // separator nor a dot, whatever its value.
  std::size_t nameStart = rest;
  std::size_t dot = std::string::npos;
  for (std::size_t i = rest; i < path.size();) {
    const std::size_t length = CharacterLength(path, i);
    if (length == 1 && IsSeparator(path[i])) {
      nameStart = i + 1;
      dot = std::string::npos;
    } else if (length == 1 && path[i] == '.') {
      dot = i;
    }
    i += length;
  }
  parts.directory = path.substr(rest, nameStart - rest);
  if (dot == std::string::npos) {
    parts.name = path.substr(nameStart);
  } else {
    parts.name = path.substr(nameStart, dot - nameStart);
    parts.extension = path.substr(dot);
  }
  return parts;
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && EndsWithSeparator(path) && path.back() == '\\') return path;
  return path + "\\";
}

std::string ParentFolder(const std::string& path) {
  std::string trimmed = path;
  if (EndsWithSeparator(trimmed)) trimmed.pop_back();
  const PathParts parts = SplitPath(trimmed);
  return parts.drive + parts.directory;
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
