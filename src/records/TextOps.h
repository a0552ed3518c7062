#pragma once
// Text rules shared by the views, the reader operations and the parameter dialogs: the
// transponder's Readers list, splitting at a separator, and hexadecimal conversions.
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// Splits text at sep. The piece after the last separator is kept unless the whole text is
// empty: "" gives no pieces, ";" gives two empty ones, "3;" gives "3" and "".
QStringList SplitText(const QString& text, QChar sep);

// Reads hexadecimal text (upper-cased first, so "a" counts as "A") into value. Returns 1 on
// success; 0, value untouched, for an empty text, any character other than 0-9/A-F, or more
// than 16 digits.
int HexTextToNumber(const QString& text, uint64_t& value);

// Turns a text of the digits 0 and 1 into upper-case hexadecimal, first filling it on the
// left with "0"s to a multiple of four digits ("10001" -> "11"). Any other character gives "".
QString BinTextToHex(const QString& bits);

// ---- the Readers list of a transponder: reader IDs as decimal numbers separated by ";" ----
// Every piece read as a decimal number; an empty or non-numeric piece reads as 0.
QList<int32_t> ParseReaders(const QString& readers);
// The readers referred to: the pieces above 0 ("0", "" and ";" refer to none).
QList<int32_t> ReaderIDs(const QString& readers);
bool HasReader(const QString& readers, int32_t readerId);
// Adds one reader: appends ";" and the ID. Unchanged when the reader is already listed or the
// ID is not above 0 (an ID occurs at most once).
QString AddReader(const QString& readers, int32_t readerId);
// Adds a reader to a list when adding it to all transponders: every piece followed by ";",
// then the ID ("3;7" -> "3;7;5", "" -> "5"). Unchanged when already listed or ID not above 0.
QString AddReaderToAll(const QString& readers, int32_t readerId);
// Removes the reader: the remaining pieces joined by ";" ("3;12;3" without 3 -> "12;3").
// Unchanged when the reader is not listed.
QString RemoveReader(const QString& readers, int32_t readerId);

// ---- names and entered text ----
// Whether text holds a control character (NUL, tab, line breaks, the C1 codes): never stored
// as entered text (a NUL would cut a text on its way to the server).
bool HasControlCharacter(const QString& text);
// Whether text can be the name of a person, time schedule or reader: no control character
// and no ";" (the CSV files separate their fields by it and have no quoting). Every place that
// lets a user enter or change such a name asks this; text 380 says why a name was refused.
bool IsValidName(const QString& name);
