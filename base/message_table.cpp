#include "base/message_table.h"

#include "base/messages.h"
#include "resources/message_numbers.h"
#include "resources/strings.h"

namespace su {

namespace {

constexpr MessageEntry kMessages[] = {
    {IDS_DEVICE_NOT_SET_UP, TEXT_29}, {IDS_SQF_NOT_FOUND, TEXT_30}, {IDS_DEVICE_BUSY, TEXT_32},
    {IDS_NO_RESPONSE, TEXT_34}, {IDS_NOT_READY, TEXT_35}, {IDS_NOT_ENOUGH_MEMORY, TEXT_36},
    {IDS_TIMEOUT, TEXT_38}, {IDS_ALREADY_EXIST, TEXT_39}, {IDS_COMPLETE, TEXT_40},
    {IDS_CANCEL_QUESTION, TEXT_41}, {IDS_DATA_NOT_FOUND, TEXT_42}, {IDS_FILE_BROKEN, TEXT_43},
    {IDS_FILE_ERROR, TEXT_44}, {IDS_SAVED, TEXT_46}, {IDS_GETTING_INFORMATION, TEXT_47},
    {IDS_NOW_SENDING, TEXT_48}, {IDS_DELETE_QUESTION, TEXT_49}, {IDS_DELETE_COMPLETE, TEXT_50},
    {IDS_MEMORY_SHORT_C, TEXT_52}, {IDS_ERROR_CODE, TEXT_53}, {IDS_LOW_VOLTAGE, TEXT_54},
    {IDS_TRANSMISSION_STOPPED, TEXT_55}, {IDS_HYPERTHREADING, TEXT_57}, {IDS_MEMORY_SHORT_B, TEXT_59},
    {IDS_LAST_KEYBOARD_SILENT, TEXT_70},
};

}  // namespace

const MessageEntry* FindMessage(std::int32_t number) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

std::string MessageText(std::int32_t number) {
  const MessageEntry* entry = FindMessage(number);
  return entry != nullptr ? entry->text : "";
}

std::int32_t ShownFailure(std::int32_t number) { return FindMessage(number) != nullptr ? number : IDS_FILE_ERROR; }

std::string FailureText(const RaisedMessage& raised) { return MessageText(ShownFailure(raised.number)); }

std::string FailureText(const APP_EXCEPTION& error) {
  return FormatErrorCodeMessage(MessageText(IDS_ERROR_CODE), error.code);
}

}  // namespace su
