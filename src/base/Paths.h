#pragma once
// Where the program finds and keeps its files. Tests point these at temporary folders
// through the usual XDG variables and SetProgramDir.
#include <QString>

namespace Paths {
// Folder of the program file (the layout file lives in its "SysFiles/"). Tests may override it.
QString ProgramDir();
void SetProgramDir(const QString& dir);   // empty restores the real one
// Per-user config folder of the program: $XDG_CONFIG_HOME/Brimlow/Vendrik Manager AIO.
// COM-number links live in its "dosdevices/" sub-folder.
QString ConfigDir();
QString DosDevicesDir();
// The installed program's shared data ("share/vendrik-manager" beside "bin/"), found from the
// program's folder so that a package installed under any prefix finds it. Texts and a default
// layout file live in its "SysFiles/".
QString ShareDir();
// Per-user data folder ($XDG_DATA_HOME/Brimlow/Vendrik Manager AIO), home of the default database.
QString DataDir();
}
