// Runs one database command on the database the settings name and stops at a given point,
// saying "at <point>" on standard output, to be killed there:
//   backup_kill_helper restore <file> <stage>   stage "copied", "replacing" or "done"
//   backup_kill_helper clear                    stops right before the clearing commits
// Before a restore it stores a person "Helper" that sits only in the write-ahead log.
#include "base/Prompt.h"
#include "exchange/DatabaseBackup.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/RecordOps.h"
#include "support/StoreOwner.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
[[noreturn]] void StopHere(const char* point)
{
    std::printf("at %s\n", point);
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ScriptedPrompt prompt;
    auto store = std::make_unique<CStoreDB_Handler>(nullptr);
    if (argc < 2 || !store->IsDatabaseOpen())
        return 2;

    if (std::strcmp(argv[1], "clear") == 0) {
        CStoreTransaction::SetBeforeCommitHook([] { StopHere("commit"); });
        prompt.NextAnswer(true);
        return DatabaseBackup::ClearAll(store.get()) ? 0 : 3;
    }
    if (std::strcmp(argv[1], "restore") != 0 || argc < 4)
        return 2;
    if (AddRecord(store->Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = QStringLiteral("Helper"); }) !=
        RecordResult::Done)
        return 3;
    const QByteArray stage = argv[3];
    DatabaseBackup::SetStageHook([stage](const char* s) {
        if (stage == s)
            StopHere(s);
    });
    prompt.NextFileName(QString::fromLocal8Bit(argv[2]));
    prompt.NextAnswer(false);
    if (!DatabaseBackup::Restore(VmTest::OwnerOf(store, nullptr)))
        return 3;
    store.reset();
    StopHere("done");
}
