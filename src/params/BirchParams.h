#pragma once
// The work behind the Birch parameter dialog: the master transponder read at opening, the
// choice between the reader's and the database's master, teaching a new master, and storing
// mode and switching time in the record and writing them into the reader.
//
// All reader traffic goes through the monitor's mailbox in the short frame. While an object
// of this class lives the monitor's pause flag is raised and its ready flag cleared; both are
// given back when it ends. Messages are shown through the prompt seam.
#include "params/ParamCodes.h"
#include "params/ParamSupport.h"

#include <QString>

class BirchParams {
public:
    static constexpr int kTeachWaits = 50;     // waits for the new master's tag ...
    static constexpr int kTeachWaitMs = 120;   // ... of this long each

    BirchParams(const ParamSupport::Context& ctx, const structLeser& reader);
    ~BirchParams();
    BirchParams(const BirchParams&) = delete;
    BirchParams& operator=(const BirchParams&) = delete;

    // Reads the reader's master ("G" "00"). True when it answered with 10 characters; without
    // an answer the dialog offers neither teaching nor writing.
    bool ReadReaderMaster();
    bool ReaderAnswered() const { return m_readerAnswered; }
    QString ReaderMaster() const { return m_readerMaster; }
    QString DbMaster() const { return m_dbMaster; }
    const structLeser& Reader() const { return m_reader; }

    // What the dialog shows at opening: the master to show, or that the user has to choose
    // (both known and different, and the reader answered).
    struct Opening {
        QString master;
        bool choose = false;
        bool standalone = false;   // mode bit 0
        bool active = false;       // mode bit 1
        QString switchTime;        // as shown in the edit
    };
    Opening OpeningState() const;

    // After the choice: the database's master is written into the reader's slot 0 ("S"),
    // the reader's master is stored in the record. False when the reader did not answer (141).
    bool UseDatabaseMaster();
    bool UseReaderMaster();

    // Teaches a new master: "M", then up to 50 waits of 120 ms for the reader's report of the
    // tag held to it. Returns the new number, empty when the reader refused (141) or no tag
    // came (153). The new master loses this reader's access as a transponder, and the record
    // holds it as its master.
    QString Teach(const ParamSupport::Feedback& feedback);

    enum class Outcome { Done, Refused, NotStored, NoAnswer };
    // Stores mode bits, master (when not empty) and switching time, marking the reader
    // changed. When the switching time is above 15, resetSwitch receives the stored value as
    // shown at opening (the dialog puts it back into the edit).
    Outcome UpdateDatabase(bool standalone, bool active, const QString& master, const QString& switchValue,
                           QString* resetSwitch = nullptr);
    // Stores the same without marking the reader changed, then writes "J", "K" and "D".
    Outcome UpdateReader(bool standalone, bool active, const QString& master, const QString& switchValue,
                         QString* resetSwitch = nullptr);

private:
    Outcome Store(bool standalone, bool active, const QString& master, const QString& switchValue,
                  bool markChanged, QString* resetSwitch, QString* storedSwitch);
    QByteArray Ask(char command, const QByteArray& data);

    ParamSupport::Context m_ctx;
    structLeser m_reader;
    QString m_openingParams;   // the record's parameter text as read at opening
    QString m_readerMaster;
    QString m_dbMaster;
    bool m_readerAnswered = false;
};
