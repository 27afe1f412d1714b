// Resource numbers: dialogs, controls, menu, icon and the string table. Shared by the resource script and
// the code. Plain #defines, because the resource compiler reads this file too.
#pragma once

// Dialog templates
#define IDD_SELECTION 137
#define IDD_SEND_C 138
#define IDD_SENDING 139
#define IDD_MIDI_DEVICE 140
#define IDD_LOOKING 141
#define IDD_DELETING 142
#define IDD_CONVERTING 146
#define IDD_SEND_A 148
#define IDD_SEND_B 150

// Menu of the Selection dialog and its one command
#define IDR_SELECTION_MENU 133
#define IDM_SETUP 32771

// Program icon group
#define IDI_PROGRAM 129

// Controls
#define IDC_SEND_TO_KEYBOARD 1000
#define IDC_SAVE_AS_FILE 1001
#define IDC_DELETE 1002
#define IDC_SEND 1003
#define IDC_TOTAL_SIZE 1004
#define IDC_FREE_SIZE 1005
#define IDC_SONG_SIZE 1006
#define IDC_MAX_SONG_SIZE 1007
#define IDC_REFRESH 1011
#define IDC_CANCEL_TRANSFER 1015
#define IDC_MIDI_IN 1016
#define IDC_MIDI_OUT 1017
#define IDC_FILE_NAME 1017
#define IDC_SLOT_LIST 1018
#define IDC_SENDING_HIDDEN_OK 1018
#define IDC_PROGRESS 1010
#define IDC_STATUS 11000

// String table
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
