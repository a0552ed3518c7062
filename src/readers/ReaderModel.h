#pragma once
// Reader models and the two ways the program numbers them.
//
// The reader table works with a model number decided from the reader record's type text
// (0 Cedar, 1 Maple, 2 Birch, 3 Alder, 4 Rowan). The link numbers what answered at the port
// with the interface type (0 Birch, 1 Cedar, 2 Maple, 3 Alder, 4 Rowan, -1 none). The two
// numberings differ; the functions here are the only place that maps one to the other.
#include <QString>

namespace ReaderModel {

enum Number { Cedar = 0, Maple = 1, Birch = 2, Alder = 3, Rowan = 4 };

// Type texts as stored in the reader record's Model field.
inline const QString kCedar = QStringLiteral("Cedar");
inline const QString kMaple = QStringLiteral("Maple");
inline const QString kBirch = QStringLiteral("Birch");
inline const QString kAlder = QStringLiteral("Alder");
inline const QString kRowan = QStringLiteral("Rowan");

// Model number from a type text (the record's Model or the table's "Type: Model" cell): the
// names are looked for in the order Birch, Cedar, Maple, Rowan, Alder and the first one the
// text contains wins. A text naming none keeps the previous decision.
int Decide(const QString& typeText, int previous);

// Type text of a model number; empty for an unknown number.
QString TypeText(int modelNumber);

// Bus readers (Cedar, Maple, Rowan) answer the addressed telegrams and carry a device ID.
bool IsBusReader(int modelNumber);
// The same, decided from a type text alone (a text naming no model is not a bus reader).
bool IsBusReaderType(const QString& typeText);

// Interface type of the link -> model number; -1 for "none" or an unknown type.
int FromInterfaceType(int interfaceType);
// Model number -> the interface type a reader of that model reports; -1 for an unknown model.
int ToInterfaceType(int modelNumber);
// Type text of what answered at the port ("Birch" for interface type 0, ...); empty for none.
QString TypeTextOfInterface(int interfaceType);

// Identification a desk reader gives to the short identify telegram: "KTMQ32" for a Birch
// (interface type 0), "KTMQ31" for an Alder (3); empty for every other interface type.
QString DeskReaderIdentification(int interfaceType);

// Number of the last event in a bus reader's event memory (events are numbered from 0):
// Cedar 4999, Maple 2899, Rowan 3999; -1 for readers whose events this program does not read.
int LastEventNumber(int modelNumber);

// Transponders one bus reader holds: Cedar 500, Maple 100, Rowan 1000; -1 for the desk
// readers, whose memory is written through their own send dialog.
int TransponderCapacity(int modelNumber);

} // namespace ReaderModel
