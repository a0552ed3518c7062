// Waits to be killed in the middle of a store operation, so the store tests can prove what a
// killed process leaves behind.
//   kill_helper event NUMBER   stores one event with that transponder number, says "stored <ID>"
//                              and waits: the record must be durable once Update() has returned.
//   kill_helper cascade        deletes the first cached reader with its events and its place in
//                              the transponders' lists, says "committing" right before the
//                              commit and waits there: nothing of the cascade may be in the file.
#include "base/Prompt.h"
#include "readers/ReaderDeletion.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <cstring>

namespace {
[[noreturn]] void WaitForKill()
{
    for (;;)
        QThread::sleep(60);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CStoreDB_Handler store(nullptr);
    if (argc < 2 || !store.IsDatabaseOpen())
        return 2;
    if (std::strcmp(argv[1], "cascade") == 0) {
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);   // delete the reader
        prompt.NextAnswer(true);   // with its events
        CStoreTransaction::SetBeforeCommitHook([] {
            std::printf("committing\n");
            std::fflush(stdout);
            WaitForKill();
        });
        ReaderDeletion::DeleteReaders(store, {0}, nullptr);
        return 3;   // never reached: the hook waits for the kill
    }
    CtblEvents* events = store.Get_Ptr_To_tblEvents();
    if (argc < 3 || !events->Open())
        return 2;
    events->AddNew();
    events->Rec().TransponderNo = QString::fromLocal8Bit(argv[2]);
    events->Update();   // a store error throws and ends the process: the test sees no "stored"
    std::printf("stored %d\n", events->GetLastAddedID());
    std::fflush(stdout);
    WaitForKill();
}
