// The per-board playback helpers shared by the LDP interpreter and the
// playback watcher.  Main thread only.
#ifndef HRX_PLAYER_PLAYBACK_H
#define HRX_PLAYER_PLAYBACK_H

// True when the board number indexes the per-board fields (0 to 15).
bool HasDriverTableRow(int board);
// The name of the file now playing on the board; empty for a board outside
// the table.  The library fills the field: print it with "%.255s".
const char *PlayingFileOf(int board);
// Opens the file now playing on the board again, so that it follows
// itself.  With no file playing nothing is opened: an empty name would
// replace the chapter queued on the board.
void QueuePlayingFile(int board);

#endif
