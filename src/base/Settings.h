#pragma once
// Per-user settings. On Windows they would be registry values under
// "Software\Brimlow\Vendrik Manager AIO"; here QSettings keeps them in an INI file under the
// per-user config folder (XDG_CONFIG_HOME). Value names are compared without regard to case:
// the port dialog writes "nAktCom" and everybody else reads "nAktCOM", and that is one value.
#include <QString>
#include <cstdint>

class CSettingsStore {
public:
    // hive is kept for the sake of the Windows port; the program always passes 1 (current user).
    // Returns 1 and sets value when a number is stored; otherwise value is left as preset.
    int ReadDword(uint32_t& value, int hive, const QString& key, const QString& name) const;
    void WriteDword(uint32_t value, int hive, const QString& key, const QString& name);
    QString ReadString(int hive, const QString& key, const QString& name) const;  // empty when missing
    void WriteString(const QString& text, int hive, const QString& key, const QString& name);
};

// The registry key the program uses everywhere.
inline constexpr const char* kSettingsKey = "Software\\Brimlow\\Vendrik Manager AIO";

// The values the program reads, with their defaults and bounds applied.
namespace Settings {
// "nAktCOM": default 256; a value outside 1..256 is replaced by 256 and written back.
uint32_t ReadAktCom();
void WriteAktCom(uint32_t port);
// "nLanguage": 0 German (default), 1 English.
uint32_t ReadLanguage();
void WriteLanguage(uint32_t language);
// A language for this process only (a command-line run's --lang): ReadLanguage returns it
// while the stored setting stays as it is. -1: the stored setting again.
void SetLanguageForThisRun(int language);
// "BackupPath", "SavePath", "ImportPath": at most 1023 characters, empty by default.
QString ReadPath(const QString& name);
void WritePath(const QString& name, const QString& path);
}
