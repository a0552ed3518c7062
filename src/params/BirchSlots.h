#pragma once
// The work behind the send dialog of the desk readers (Birch, Alder): the transponder memory
// of one reader. Slot 0 holds the master, slots 1 and up the transponders that open the door;
// the reader holds 50 slots, so at most 49 transponders.
//
// The dialog shows three lists: the database's transponders of this reader, the transponders
// read from the reader, and the target list the user puts together from both. Entries show the
// person's name when the transponder has a person; the name table turns names back into
// numbers. The target list is then either sent to the reader with the reader's settings (send
// mode) or only taken over into the database (take-over mode); in both cases the transponder
// records are brought in line with it.
//
// All telegrams use the short frame through the monitor's mailbox.
#include "params/ParamSupport.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class BirchSlots {
public:
    static constexpr int kMaxEntries = 49;      // slot 0 is the master's
    static constexpr int kRepeatDelayMs = 200;  // before the one repeat of a slot write

    BirchSlots(const ParamSupport::Context& ctx, int32_t readerId);

    // The database's transponders of this reader as shown (name or number), in cache order.
    // Fills the name table.
    QStringList DatabaseEntries();

    // Reads the reader's slots: "Y" for the count, then "G" per slot from 1. Returns false
    // (text 141 shown, status line too) when the reader stops answering; read keeps the
    // entries read so far, shown as the lists show them.
    bool ReadReader(QStringList& read, const ParamSupport::Feedback& feedback);

    // The transponder number behind a list entry: the paired number of a name of the name
    // table, else the entry itself (a name that is not in the table is taken as a number).
    QString NumberOf(const QString& entry) const;
    QString EntryOf(const QString& number) const;
    QStringList NumbersOf(const QStringList& entries) const;

    enum class Outcome {
        Done,
        TooMany,     // more than 49 entries (text 213); nothing sent
        NoAnswer,    // the reader did not acknowledge (text 141); the database unchanged
        NotStored,   // the database could not be brought in line (already shown)
    };
    // Send mode: "Z" with the new count, "S" per slot (one repeat after 200 ms), then "J",
    // "K" and "D" from the reader record; then the reader is marked written and the
    // transponder records are brought in line.
    Outcome Send(const QStringList& targetEntries, const ParamSupport::Feedback& feedback);
    // Take-over mode: only brings the transponder records in line.
    Outcome TakeOver(const QStringList& targetEntries);

    // Every transponder in numbers gets this reader; every other transponder of this reader
    // loses it; numbers without a record become new records (no person, full access). One
    // transaction; the cached list is reloaded afterwards.
    RecordResult BringInLine(const QStringList& numbers);

private:
    QByteArray Ask(char command, const QByteArray& data);
    void NoAnswer(const ParamSupport::Feedback& feedback);

    ParamSupport::Context m_ctx;
    int32_t m_readerId;
    QList<QPair<QString, QString>> m_names;   // (number, person name)
};
