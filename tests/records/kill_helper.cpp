// Stores one event with the transponder number given as argument, says "stored <ID>" on
// standard output and then waits to be killed. Used by the store test to prove that a record
// is durable once Update() has returned.
#include "records/CStoreDB_Handler.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CStoreDB_Handler store(nullptr);
    if (!store.IsDatabaseOpen() || argc < 2) {
        std::fprintf(stderr, "%s\n", qPrintable(store.DatabaseError()));
        return 2;
    }
    CtblEvents* events = store.Get_Ptr_To_tblEvents();
    if (!events->Open())
        return 3;
    try {
        events->AddNew();
        events->Rec().TransponderNo = QString::fromLocal8Bit(argv[1]);
        events->Rec().Date = QStringLiteral("05122026");
        events->Update();
    } catch (const CDBException& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.m_strError));
        return 4;
    }
    std::printf("stored %d\n", events->GetLastAddedID());
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
