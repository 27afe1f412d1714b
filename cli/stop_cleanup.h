// What a stop that cannot wait for the command's own cleanup still does: a second Ctrl-C ends the process at
// once, but first removes the files and folders the command made and has not yet handed over, prints the
// JSON object a script asked for, and waits for a song file that is being overwritten in place to be whole.
#pragma once

#include <string>

namespace su::cli {

// A temporary file or folder (removed whole) of ours, until Forget is called with the same path.
void RememberTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);

// --json: the object's opening ("{\"command\":\"convert\",\"done\":false") that a stop at once completes with
// its exit code and "stopped."; "" for none.
void SetStopJsonOpening(const std::string& opening);

// While one lives, a song file is being overwritten in place: a stop at once waits until it is gone, so the
// file holds the old song or the new one, never part of each.
class UnbrokenWrite {
 public:
  UnbrokenWrite();
  ~UnbrokenWrite();
  UnbrokenWrite(const UnbrokenWrite&) = delete;
  UnbrokenWrite& operator=(const UnbrokenWrite&) = delete;
};

// Called by the stop taker right before it ends the process with signal exit code `exitCode`: waits for an
// unbroken write, removes what is remembered, prints the JSON object. Never returns the lock it takes.
void CleanUpBeforeEnding(int exitCode);

}  // namespace su::cli
