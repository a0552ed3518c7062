#pragma once
// The reader at the port, reached as the program reaches it: the link controller's connection
// worker brings it online (identify, device ID, clock), its monitor worker then owns the port,
// and the reader is recognised or registered as when the program goes online. Going offline
// closes the port; the destructor does so in any case.
#include "readers/ReaderRegistration.h"
#include "records/Records.h"

#include <QString>
#include <memory>

class CLinkController;
class CSerialLink;
class CStoreDB_Handler;
class CliContext;

class ReaderSession {
public:
    ReaderSession(CliContext& ctx, CStoreDB_Handler& store);
    ~ReaderSession();

    // Goes online on --com or "nAktCOM". False after the reason was shown: no reader, or the
    // port could not be opened (held by another program, missing).
    bool GoOnline();
    void GoOffline();

    // Registration as the program does it when a reader comes online. A desk reader is
    // registered only with --register-as (a name of a reader of its model, or "new").
    ReaderRegistration::Result Register();
    // The reader record after Register: recognised or added (ID 0 when there is none).
    const structLeser& Reader() const { return m_reader; }
    // Register, and make sure the reader is a Cedar, Maple or Rowan with a record. False after
    // the reason was shown.
    bool RegisterBusReader();
    // GoOnline and RegisterBusReader, with the session's description shown when the reader is
    // no bus reader with a record: what every bus-reader command starts with.
    bool OpenBusReader();

    CSerialLink& Link();
    uint32_t Port() const { return m_port; }
    int InterfaceType() const;
    QString TypeText() const;        // "Cedar", ... of what answered
    QString DeviceId() const;        // bus readers

    // Adds the port and the reader to the JSON result.
    void Describe() const;

private:
    CliContext& m_ctx;
    CStoreDB_Handler& m_store;
    std::unique_ptr<CLinkController> m_controller;
    uint32_t m_port = 0;
    int m_type = -1;                 // what answered, kept when the port is closed again
    structLeser m_reader;
    QString m_registration;          // "known", "new" or "none"
};
