#include "base/Settings.h"

#include <QSettings>
#include <atomic>

namespace {

std::atomic<int> g_languageForRun{-1};

QSettings Open()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brimlow"),
                     QStringLiteral("Vendrik Manager AIO"));
}

// The stored spelling of a value name, matched without regard to case; the name itself
// when nothing is stored yet.
QString StoredName(const QSettings& s, const QString& name)
{
    const QStringList keys = s.childKeys();
    for (const QString& k : keys)
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return k;
    return name;
}

} // namespace

int CSettingsStore::ReadDword(uint32_t& value, int, const QString&, const QString& name) const
{
    QSettings s = Open();
    const QVariant v = s.value(StoredName(s, name));
    if (!v.isValid())
        return 0;
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok, 0);
    if (!ok || n < INT32_MIN || n > UINT32_MAX)
        return 0;
    value = static_cast<uint32_t>(n);
    return 1;
}

void CSettingsStore::WriteDword(uint32_t value, int, const QString&, const QString& name)
{
    QSettings s = Open();
    s.setValue(StoredName(s, name), static_cast<qulonglong>(value));
    s.sync();
}

QString CSettingsStore::ReadString(int, const QString&, const QString& name) const
{
    QSettings s = Open();
    return s.value(StoredName(s, name)).toString();
}

void CSettingsStore::WriteString(const QString& text, int, const QString&, const QString& name)
{
    QSettings s = Open();
    s.setValue(StoredName(s, name), text);
    s.sync();
}

namespace Settings {

uint32_t ReadAktCom()
{
    CSettingsStore store;
    uint32_t port = 256;
    store.ReadDword(port, 1, kSettingsKey, QStringLiteral("nAktCOM"));
    if (port < 1 || port > 256) {
        port = 256;
        store.WriteDword(port, 1, kSettingsKey, QStringLiteral("nAktCOM"));
    }
    return port;
}

void WriteAktCom(uint32_t port)
{
    CSettingsStore().WriteDword(port, 1, kSettingsKey, QStringLiteral("nAktCom"));
}

uint32_t ReadLanguage()
{
    if (const int forRun = g_languageForRun.load(); forRun >= 0)
        return uint32_t(forRun);
    uint32_t language = 0;
    CSettingsStore().ReadDword(language, 1, kSettingsKey, QStringLiteral("nLanguage"));
    return language;
}

void SetLanguageForThisRun(int language)
{
    g_languageForRun = language == 0 || language == 1 ? language : -1;
}

void WriteLanguage(uint32_t language)
{
    CSettingsStore().WriteDword(language, 1, kSettingsKey, QStringLiteral("nLanguage"));
}

QString ReadPath(const QString& name)
{
    return CSettingsStore().ReadString(1, kSettingsKey, name).left(1023);
}

void WritePath(const QString& name, const QString& path)
{
    CSettingsStore().WriteString(path.left(1023), 1, kSettingsKey, name);
}

} // namespace Settings
