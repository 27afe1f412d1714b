// Resource numbers: dialogs, controls, menu and icon, and (from message_numbers.h) the string table. Shared by
// the resource script and the Windows dialogs' logic in app/. Plain #defines, because the resource compiler
// reads this file too.
#pragma once

#include "message_numbers.h"

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
