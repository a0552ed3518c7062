#pragma once
// The main menu's database commands (backup, restore, delete all entries): the frame's side of
// them — wait cursor, the store handler made again after a restore, tree and table refreshed.
// The work itself is exchange/DatabaseBackup.
class CMainFrame;

namespace DatabaseCommands {
// Installs the three command handlers on the frame.
void Install(CMainFrame& frame);
}
