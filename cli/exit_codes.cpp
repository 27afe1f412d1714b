#include "cli/exit_codes.h"

#include "base/messages.h"
#include "resources/message_numbers.h"
#include "resources/strings.h"

namespace su::cli {

namespace {

struct MessageRow {
  int number;
  const char* text;
  int exitCode;
};

// Every entry of the string table, with the exit code a failure raised as that message ends the command with.
constexpr MessageRow kMessages[] = {
    {IDS_DEVICE_NOT_SET_UP, TEXT_29, kExitPort},     {IDS_SQF_NOT_FOUND, TEXT_30, kExitFileNotFound},
    {IDS_DEVICE_BUSY, TEXT_32, kExitPort},           {IDS_NO_RESPONSE, TEXT_34, kExitNoKeyboard},
    {IDS_NOT_READY, TEXT_35, kExitNotReady},         {IDS_NOT_ENOUGH_MEMORY, TEXT_36, kExitNoMemory},
    {IDS_TIMEOUT, TEXT_38, kExitTimeout},            {IDS_ALREADY_EXIST, TEXT_39, kExitDeclined},
    {IDS_COMPLETE, TEXT_40, kExitOk},                {IDS_CANCEL_QUESTION, TEXT_41, kExitInterrupted},
    {IDS_DATA_NOT_FOUND, TEXT_42, kExitFileNotFound}, {IDS_FILE_BROKEN, TEXT_43, kExitFileBroken},
    {IDS_FILE_ERROR, TEXT_44, kExitFileError},       {IDS_SAVED, TEXT_46, kExitOk},
    {IDS_GETTING_INFORMATION, TEXT_47, kExitOk},     {IDS_NOW_SENDING, TEXT_48, kExitOk},
    {IDS_DELETE_QUESTION, TEXT_49, kExitDeclined},   {IDS_DELETE_COMPLETE, TEXT_50, kExitOk},
    {IDS_MEMORY_SHORT_C, TEXT_52, kExitNoMemory},    {IDS_ERROR_CODE, TEXT_53, kExitKeyboardError},
    {IDS_LOW_VOLTAGE, TEXT_54, kExitLowVoltage},     {IDS_TRANSMISSION_STOPPED, TEXT_55, kExitStopped},
    {IDS_HYPERTHREADING, TEXT_57, kExitPort},        {IDS_MEMORY_SHORT_B, TEXT_59, kExitNoMemory},
    {IDS_LAST_KEYBOARD_SILENT, TEXT_70, kExitOk},
};

const MessageRow* Find(int number) {
  for (const MessageRow& row : kMessages) {
    if (row.number == number) return &row;
  }
  return nullptr;
}

}  // namespace

int ExitCodeForMessage(std::int32_t number) {
  const MessageRow* row = Find(number);
  // A number outside the table can only come from a fault of ours: report it as a file error, as the
  // run sequence does with an unexpected failure.
  return row != nullptr && row->exitCode != kExitOk ? row->exitCode : kExitFileError;
}

std::string MessageText(int number) {
  const MessageRow* row = Find(number);
  return row != nullptr ? row->text : "";
}

std::string FailureText(const RaisedMessage& raised) {
  const std::string text = MessageText(raised.number);
  return text.empty() ? MessageText(IDS_FILE_ERROR) : text;
}

std::string FailureText(const APP_EXCEPTION& error) {
  return FormatErrorCodeMessage(MessageText(IDS_ERROR_CODE), error.code);
}

std::string UnforeseenFailureText(const std::string& what) {
  return "songuploader: " + MessageText(IDS_FILE_ERROR) + " (an unforeseen failure" +
         (what.empty() ? std::string() : ": " + what) + "; please report it)";
}

}  // namespace su::cli
