#pragma once
// vendrik-cli run as a user runs it: the built program (beside the test executable) started as
// a process in English, its exit status and both output streams kept.
//
//   const VmTest::CliOutcome o = VmTest::RunCli({"status", "--db", db, "--json"}, dir);
//   QCOMPARE(o.status, 0);
//   o.Json().value("readers") ...
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

namespace VmTest {

struct CliOutcome {
    int status = -1;   // -1: crashed or timed out
    QByteArray out;
    QByteArray err;
    QJsonObject Json() const { return QJsonDocument::fromJson(out).object(); }
};

inline CliOutcome RunCli(const QStringList& args, const QString& workingDir, int timeoutMs = 60000)
{
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/vendrik-cli"));
    p.setArguments(QStringList{QStringLiteral("--lang"), QStringLiteral("en")} + args);
    p.setWorkingDirectory(workingDir);
    p.start();
    CliOutcome o;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = p.readAllStandardOutput();
    o.err = p.readAllStandardError();
    return o;
}

} // namespace VmTest
