#pragma once
// The window's side of the activity journal: its changes are appended to the journal, and the
// activity log starts with the journal's recent rows (what was done yesterday, here or with
// tazelctl, is still there).

class frmMain;

// How many of the journal's last rows the activity log shows on start.
inline constexpr int JournalRowsOnStart = 200;

// Called once, after the window's activity log exists.
void AttachJournal(frmMain& w);
