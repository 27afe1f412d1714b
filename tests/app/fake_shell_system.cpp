#include "tests/app/fake_shell_system.h"

#include <functional>

namespace su::test {

namespace {
std::string AsDirectory(const std::string& path) {
  return (!path.empty() && path.back() == '\\') ? path : path + "\\";
}
std::string Parent(const std::string& path) {
  std::string trimmed = path;
  if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const std::size_t slash = trimmed.rfind('\\');
  return slash == std::string::npos ? std::string() : trimmed.substr(0, slash + 1);
}
}  // namespace

bool FakeShellSystem::ClaimInstance() {
  mutexHeld = true;  // a handle comes back either way
  return !otherInstanceRunning;
}

void FakeShellSystem::ReleaseInstance() {
  if (!mutexHeld) return;
  mutexHeld = false;
  ++mutexReleases;
}

bool FakeShellSystem::PathExists(const std::string& path) {
  return files.count(path) != 0 || directories.count(AsDirectory(path)) != 0;
}

bool FakeShellSystem::MakeDirectory(const std::string& path) {
  const std::string directory = AsDirectory(path);
  if (refusedDirectories.count(directory) != 0 || directories.count(directory) != 0) return false;
  if (directories.count(Parent(directory)) == 0) return false;
  directories.insert(directory);
  return true;
}

bool FakeShellSystem::ListEntries(const std::string& pattern, std::vector<std::string>* names) {
  const std::string suffix = "*.*";
  if (pattern.size() < suffix.size() || pattern.compare(pattern.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  const std::string directory = pattern.substr(0, pattern.size() - suffix.size());
  if (directories.count(directory) == 0) return false;
  names->push_back(".");
  names->push_back("..");
  for (const std::string& entry : Inside(directory)) names->push_back(entry);
  return true;
}

bool FakeShellSystem::MakeNormal(const std::string& path) {
  madeNormal.push_back(path);
  auto file = files.find(path);
  if (file == files.end()) return directories.count(AsDirectory(path)) != 0;
  file->second.readOnly = false;
  return true;
}

bool FakeShellSystem::RemoveFile(const std::string& path) {
  auto file = files.find(path);
  if (file == files.end() || file->second.readOnly) return false;
  files.erase(file);
  return true;
}

bool FakeShellSystem::RemoveEmptyDirectory(const std::string& path) {
  const std::string directory = AsDirectory(path);
  if (directories.count(directory) == 0 || !Inside(directory).empty()) return false;
  directories.erase(directory);
  return true;
}

bool FakeShellSystem::CopyOver(const std::string& from, const std::string& to) {
  auto source = files.find(from);
  if (source == files.end() || directories.count(Parent(to)) == 0) return false;
  files[to] = File{source->second.bytes, false};
  return true;
}

bool FakeShellSystem::IdentityOf(const std::string& path, FileIdentity* identity) {
  // One volume, and every path its own file: the tree knows no second spelling of a path.
  if (!PathExists(path)) return false;
  identity->volume = 1;
  identity->index = std::hash<std::string>{}(files.count(path) != 0 ? path : AsDirectory(path));
  return true;
}

bool FakeShellSystem::IsReadOnlyFile(const std::string& path) {
  const auto file = files.find(path);
  return file != files.end() && file->second.readOnly;
}

bool FakeShellSystem::CreateNewFile(const std::string& path) {
  if (PathExists(path) || directories.count(Parent(path)) == 0) return false;
  files[path] = File{};
  return true;
}

bool FakeShellSystem::ReplaceWith(const std::string& target, const std::string& replacement) {
  const auto moved = files.find(replacement);
  if (moved == files.end() || directories.count(AsDirectory(target)) != 0) return false;
  const File file = moved->second;
  files.erase(moved);
  files[target] = file;
  return true;
}

std::uint32_t FakeShellSystem::Ticks() {
  const std::uint32_t now = ticks;
  ticks += ticksPerCall;
  return now;
}

void FakeShellSystem::Pause(std::uint32_t ms) {
  pauses.push_back(ms);
  ticks += ms;
}

std::vector<std::string> FakeShellSystem::Inside(const std::string& directory) const {
  std::vector<std::string> names;
  for (const auto& [path, file] : files)
    if (Parent(path) == directory) names.push_back(path.substr(directory.size()));
  for (const std::string& path : directories)
    if (path != directory && Parent(path) == directory) names.push_back(path.substr(directory.size(), path.size() - directory.size() - 1));
  return names;
}

}  // namespace su::test
