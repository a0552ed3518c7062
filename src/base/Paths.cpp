#include "base/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

namespace {
QMutex g_mutex;
QString g_programDir;

QString XdgDir(const char* var, const QString& fallback)
{
    const QString v = qEnvironmentVariable(var);
    return v.isEmpty() ? QDir::homePath() + fallback : v;
}
} // namespace

namespace Paths {

QString ProgramDir()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_programDir.isEmpty())
            return g_programDir;
    }
    return QCoreApplication::applicationDirPath();
}

void SetProgramDir(const QString& dir)
{
    QMutexLocker lock(&g_mutex);
    g_programDir = dir;
}

QString ConfigDir()
{
    return XdgDir("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/Brimlow/Vendrik Manager AIO");
}

QString ShareDir()
{
    return QDir::cleanPath(ProgramDir() + QStringLiteral("/" VM_SHARE_FROM_BIN));
}

QString DosDevicesDir() { return ConfigDir() + QStringLiteral("/dosdevices"); }

QString DataDir()
{
    return XdgDir("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QStringLiteral("/Brimlow/Vendrik Manager AIO");
}

} // namespace Paths
