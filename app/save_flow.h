// Saving the song as a .sq2 song file: convert, ask where, copy, confirm.
#pragma once

namespace su {

// 1 when the file was saved, 0 when the user cancelled the save dialog. Raises messages 42, 43 or 44.
int SaveSongFile();

}  // namespace su
