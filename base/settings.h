// The settings file SongUploader.INI beside the program: the chosen MIDI port pair and two hand-edited values.
#pragma once

namespace su {

int MakeSettingsPath();  // sets Run().settingsPath; always 1
int LoadSettings();      // reads IN, OUT, DEBUG_ZT52, ZT31_TIMEOUT of section SONGPORT; always 1
int StorePortChoice();   // writes IN and OUT only; always 1

}  // namespace su
