// Stores one event with the transponder number given as argument, says "stored <ID>" on
// standard output and then waits to be killed: the store test proves that the record is
// durable once Update() has returned.
#include "records/CStoreDB_Handler.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CStoreDB_Handler store(nullptr);
    CtblEvents* events = store.Get_Ptr_To_tblEvents();
    if (argc < 2 || !store.IsDatabaseOpen() || !events->Open())
        return 2;
    events->AddNew();
    events->Rec().TransponderNo = QString::fromLocal8Bit(argv[1]);
    events->Update();   // a store error throws and ends the process: the test sees no "stored"
    std::printf("stored %d\n", events->GetLastAddedID());
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
