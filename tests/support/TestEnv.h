#pragma once
// Gives a test process a private home: settings, database, COM-number links and the layout
// file all go to a temporary folder, never to the user's own.
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

namespace VmTest {

// Call first thing (e.g. at the top of initTestCase). Returns the private folder; the same
// one for the whole process.
inline QString IsolateHome()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vmtest-XXXXXX"));
    static bool done = false;
    if (!done) {
        done = true;
        const QString root = dir.path();
        QDir().mkpath(root + QStringLiteral("/config"));
        QDir().mkpath(root + QStringLiteral("/data"));
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
        qputenv("HOME", root.toLocal8Bit());
    }
    return dir.path();
}

} // namespace VmTest
