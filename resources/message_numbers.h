// The string table's message numbers. Every layer may use them (a protocol raises message 38, the command
// line maps messages to exit codes); the dialog and control numbers stay in resource.h, which includes this
// file, so that nothing below app/ knows a dialog's controls. Plain #defines, because the resource compiler
// reads this file too.
#pragma once

#define IDS_DEVICE_NOT_SET_UP 29
#define IDS_SQF_NOT_FOUND 30
#define IDS_DEVICE_BUSY 32
#define IDS_NO_RESPONSE 34
#define IDS_NOT_READY 35
#define IDS_NOT_ENOUGH_MEMORY 36
#define IDS_TIMEOUT 38
#define IDS_ALREADY_EXIST 39
#define IDS_COMPLETE 40
#define IDS_CANCEL_QUESTION 41
#define IDS_DATA_NOT_FOUND 42
#define IDS_FILE_BROKEN 43
#define IDS_FILE_ERROR 44
#define IDS_SAVED 46
#define IDS_GETTING_INFORMATION 47
#define IDS_NOW_SENDING 48
#define IDS_DELETE_QUESTION 49
#define IDS_DELETE_COMPLETE 50
#define IDS_MEMORY_SHORT_C 52
#define IDS_ERROR_CODE 53
#define IDS_LOW_VOLTAGE 54
#define IDS_TRANSMISSION_STOPPED 55
#define IDS_HYPERTHREADING 57
#define IDS_MEMORY_SHORT_B 59
// Numbers from 70 on are this program's own texts, beyond the keyboard messages above.
#define IDS_LAST_KEYBOARD_SILENT 70
