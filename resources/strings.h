// The texts of the string table, byte for byte (misspellings included). The resource script builds its
// STRINGTABLE from these, and the portable core uses them where it formats a message itself.
#pragma once

#define TEXT_29 "The MIDI device is not set up.\nDo you want to set up the MIDI device?"
#define TEXT_30 "The SQF file is not found."
#define TEXT_32 "The MIDI device cannot be used.\nPlease finish the other application which uses MIDI device."
#define TEXT_34 "There is no response from a keyboard.\nDo you want to set up the MIDI device?"
#define TEXT_35 "The keyboard is not ready."
#define TEXT_36 "There is not enough memory to send the data."
#define TEXT_38 "The timeout error occured."
#define TEXT_39 "The data you selected is already exist.\nDo you want to replace it?"
#define TEXT_40 "Complete!"
#define TEXT_41 "Cancel?"
#define TEXT_42 "The data is not found."
#define TEXT_43 "The file is wrong or broken."
#define TEXT_44 "File error."
#define TEXT_46 "%s\nSaved."
#define TEXT_47 "Now getting information..."
#define TEXT_48 "Now sending."
#define TEXT_49 "Do you want to delete it?"
#define TEXT_50 "Complete to delete."
#define TEXT_52 "There is not enough memory to send the data.\nPlease delete the unnecessary data.\n"
#define TEXT_53 "The error occurred.(%d)"
#define TEXT_54 "The power supply voltage of a keyboard is falling."
#define TEXT_55 "Transmission was stopped."
#define TEXT_57 "Can not send the data.\nPlease disable Hyperthreading in the BIOS."
#define TEXT_59 "There is not enough memory to send the data.\nPlease delete the unnecessary data.\n"
// The status while the keyboard search goes on after the keyboard remembered for the ports stayed silent.
#define TEXT_70 "The keyboard last found here does not answer; looking for others..."

// Shown in the "Data" column for a slot that holds a song without a name: code page 932 bytes, passed to
// the controls unchanged.
#define TEXT_IN_USE_MARKER "\x83\x66\x81\x5B\x83\x5E\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7"
