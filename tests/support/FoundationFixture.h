#pragma once
// File helpers and a throw-away program folder for the foundation and records tests.
#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace VmTest {

inline void WriteFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A fresh folder posing as the program's own for as long as it lives; "SysFiles" in it on request.
struct ProgramFolder {
    QTemporaryDir dir;
    explicit ProgramFolder(bool withSysFiles)
    {
        if (withSysFiles)
            QDir().mkpath(SysFiles());
        Paths::SetProgramDir(dir.path());
    }
    ~ProgramFolder() { Paths::SetProgramDir(QString()); }
    QString SysFiles() const { return dir.path() + QStringLiteral("/SysFiles"); }
    QString Layout() const { return SysFiles() + QStringLiteral("/DialogSetup.xml"); }
};

} // namespace VmTest
