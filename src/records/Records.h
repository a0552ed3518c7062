#pragma once
// The records of the six tables, fields in stored order. Position is cached only: the record's
// 1-based place in its table's cached list, set whenever the list is loaded.
#include <QString>
#include <cstdint>

struct structLeser {          // tblLeser: readers
    int32_t ID = 0;
    QString Name;
    QString Info;
    QString Identity;         // 20-character device ID, "---" for desk readers
    int32_t Changed = 0;
    QString Model;            // "Alder", "Birch", "Cedar", "Maple" or "Rowan"
    QString SwitchTime;
    QString Params;
    int32_t Position = 0;
};

struct structTransponder {    // tblTransponder
    int32_t ID = 0;
    QString Number;           // 10 hexadecimal characters
    int32_t PersonID = 0;
    int32_t ScheduleID = 0;   // ID of the head window of the time schedule
    QString Readers;          // reader IDs separated by ";"
    int32_t Changed = 0;
    int32_t Position = 0;
};

struct structPerson {         // tblPerson
    int32_t ID = 0;
    QString Name;
    int32_t TransponderID = 0;
    int32_t Position = 0;
};

struct structZeitschema {     // tblZeitschema: one window of a time schedule
    int32_t ID = 0;
    QString Name;
    QString From;             // HHMM
    QString To;               // HHMM
    int32_t Day[7] = {0, 0, 0, 0, 0, 0, 0};   // Day0 .. Day6
    int32_t Changed = 0;
    int32_t Position = 0;
};

struct structEvents {         // tblEvents
    int32_t ID = 0;
    QString TransponderNo;
    QString Date;             // DDMMYYYY
    QString Time;             // HHMM
    QString ClassCode;
    QString ClassText;
    QString DetailCode;
    QString DetailText;
    int32_t Position = 0;     // in the cached record it stands here, before ReaderID
    int32_t ReaderID = 0;
    QString ReaderName;
};

struct structOnline {         // tblOnline: online state; the program only reloads it
    int32_t ID = 0;
    int32_t Online = 0;
    int32_t Position = 0;
};

// The built-in full-access schedule: stored as "Vollzugriff", shown as "Full access" in English.
inline const QString kFullAccessDe = QStringLiteral("Vollzugriff");
inline const QString kFullAccessEn = QStringLiteral("Full access");
inline bool IsFullAccessName(const QString& name) { return name == kFullAccessDe || name == kFullAccessEn; }
