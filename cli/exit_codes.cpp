#include "cli/exit_codes.h"

#include "base/messages.h"
#include "resources/message_numbers.h"

namespace su::cli {

namespace {

struct ExitRow {
  int number;
  int exitCode;
};

// The exit code a failure raised as each message ends the command with (the texts are the message table's).
constexpr ExitRow kExitCodes[] = {
    {IDS_DEVICE_NOT_SET_UP, kExitPort},     {IDS_SQF_NOT_FOUND, kExitFileNotFound},
    {IDS_DEVICE_BUSY, kExitPort},           {IDS_NO_RESPONSE, kExitNoKeyboard},
    {IDS_NOT_READY, kExitNotReady},         {IDS_NOT_ENOUGH_MEMORY, kExitNoMemory},
    {IDS_TIMEOUT, kExitTimeout},            {IDS_ALREADY_EXIST, kExitDeclined},
    {IDS_CANCEL_QUESTION, kExitInterrupted}, {IDS_DATA_NOT_FOUND, kExitFileNotFound},
    {IDS_FILE_BROKEN, kExitFileBroken},     {IDS_FILE_ERROR, kExitFileError},
    {IDS_DELETE_QUESTION, kExitDeclined},   {IDS_MEMORY_SHORT_C, kExitNoMemory},
    {IDS_ERROR_CODE, kExitKeyboardError},   {IDS_LOW_VOLTAGE, kExitLowVoltage},
    {IDS_TRANSMISSION_STOPPED, kExitStopped}, {IDS_HYPERTHREADING, kExitPort},
    {IDS_MEMORY_SHORT_B, kExitNoMemory},
};

}  // namespace

int ExitCodeForMessage(std::int32_t number) {
  // A number without an exit code of its own (one that is no failure, or none at all) can only come from a
  // fault of ours: report it as a file error, as the run sequence does with an unexpected failure.
  for (const ExitRow& row : kExitCodes) {
    if (row.number == number) return row.exitCode;
  }
  return kExitFileError;
}

std::string UnforeseenFailureText(const std::string& what) {
  return "songuploader: " + MessageText(IDS_FILE_ERROR) + " (an unforeseen failure" +
         (what.empty() ? std::string() : ": " + what) + "; please report it)";
}

}  // namespace su::cli
