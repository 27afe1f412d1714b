// The conversion step shared by the save flow and the family flows: the staged song through the converter
// library while the "Now converting..." box is up, and the loader of the converted song image.
#pragma once

#include <string>

namespace su {

// The converter's output for `stagedPath`: same drive, directory and base name, extension ".sq2" for output
// kind "5" and ".sq0" for every other kind. Accepts both "\" and "/" as separators.
std::string ConvertedPathFor(const std::string& stagedPath, const char* outputKind);

// The model info argument of a conversion: the identified keyboard's info when it is valid, else "".
std::string ModelInfoArgument();

// Converts Run().stagedPath with `outputKind` while the converting box is shown and returns the output
// file's path. Raises message 42 (input missing, or no output after success), 43 (not a usable MIDI file)
// or 44 (any other failure).
std::string ConvertStagedSong(const char* outputKind, const std::string& modelCode, const std::string& modelInfo);

// Reads Run().convertedPath whole into Run().songImage / songImageSize. 1 on success (a file of 0 bytes gives
// an empty image); 0 on failure, with no image and a size of 0.
int LoadSongImage();

// LoadSongImage for a family flow: raises message 44 when the image cannot be read or is empty.
void LoadSongImageToSend();

// True when `path` names an existing regular file.
bool IsExistingFile(const std::string& path);

}  // namespace su
