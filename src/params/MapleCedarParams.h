#pragma once
// The work behind the parameter dialog of the bus readers (Maple, Cedar, and Rowan too): the
// identity read at opening, storing the parameter byte and the switching-time code in the
// reader record, and writing both and the PC's clock into the reader.
//
// The identity read goes through the monitor's mailbox; the writes go straight to the port
// while the port is held (busy flag), five tries each, and the port is always given back.
// Messages (142, 141, 173, store failures) are shown through the prompt seam.
#include "params/ParamCodes.h"
#include "params/ParamSupport.h"

#include <QByteArray>
#include <QDateTime>

class MapleCedarParams {
public:
    static constexpr int kTries = 5;

    MapleCedarParams(const ParamSupport::Context& ctx, const structLeser& reader);

    // Asks the reader at the port for its device ID. True when it answered with this reader's
    // ID, so that writing to it is allowed; a checksum failure ("CRC_ERROR"), silence or
    // another reader's ID forbid it.
    bool ReadIdentity();

    // What the record holds at opening.
    uint8_t StoredParamByte() const;
    ParamCodes::SwitchDisplay StoredSwitch() const;

    enum class Outcome {
        Done,
        Refused,     // the switching time was refused (text 142); nothing stored
        NotStored,   // the store failed (already shown)
        NoAnswer,    // the reader did not confirm (text 141); the record keeps the new values
    };
    // Stores byte and switching time in the record and marks the reader changed (it still has
    // to be written). unit is the unit list's entry, -1 for none (no switching time stored).
    Outcome UpdateDatabase(uint8_t byte, const QString& switchValue, int unit);
    // Stores them without touching the changed flag, then writes parameter byte, switching
    // time (when one was given) and clock into the reader.
    Outcome UpdateReader(uint8_t byte, const QString& switchValue, int unit,
                         const ParamSupport::Feedback& feedback = {});

    // The clock data "U0000" ssmmhhWWDDMMYY of the given local time; the weekday comes from
    // its German name, as the reader's firmware counts Monday as 01.
    static QByteArray ClockData(const QDateTime& now);

private:
    Outcome Store(uint8_t byte, const QString& switchValue, int unit, bool markChanged, int* code);

    ParamSupport::Context m_ctx;
    structLeser m_reader;
};
