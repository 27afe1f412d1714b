// Path pieces for the work directory and the staged copy: splitting a narrow path into drive, directory,
// name and extension, and the names built from them.
#pragma once

#include <cstdint>
#include <string>

namespace su {

struct PathParts {
  std::string drive;      // "C:" or empty
  std::string directory;  // up to and including the last separator, or empty
  std::string name;       // file name without extension
  std::string extension;  // from the last dot of the file name, dot included, or empty
};

// Splits like the C runtime's path splitter: both "\" and "/" separate, a drive is a letter and a colon, and
// the path is walked by characters of the ANSI code page (base/code_page.h), so a double-byte character whose
// second byte is 0x5C stays whole.
PathParts SplitPath(const std::string& path);

// `path` with one backslash at its end (none is added when it already ends with one).
std::string WithTrailingBackslash(const std::string& path);

// The folder that holds `path` (a file, or a folder with or without its trailing separator): its drive and
// directory, separator kept. The root of a drive ("C:\") and a bare name give their own drive and directory,
// so walking up ends: each step is shorter than the path it came from, or the same.
std::string ParentFolder(const std::string& path);

// The work directory's own name: the tick count printed as a signed 32-bit number ("%ld"), so a count
// above 2147483647 gives a name that begins with "-".
std::string WorkDirName(std::uint32_t ticks);

// The work directory under the temporary path: exactly one backslash before and after the tick-count name.
std::string WorkDirPath(const std::string& tempPath, std::uint32_t ticks);

// The staged copy's path and the name shown for it, kept from the source's file name and extension.
std::string StagedPathFor(const std::string& workDir, const std::string& sourcePath);
std::string StagedNameFor(const std::string& sourcePath);

}  // namespace su
