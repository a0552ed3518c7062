#pragma once
// The text side of the CSV files: the code page they are written in, how a file of unknown
// encoding is read, the default file names and the ".csv" ending.
//
// Files are written in Windows-1252, the code page of the spreadsheets that open them on
// Windows. Reading accepts what such a spreadsheet or a modern editor may save: UTF-8 (with or
// without byte-order mark) when every byte of the file is valid UTF-8, else Windows-1252.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

// Windows-1252 bytes of text. A character the code page lacks is written as "?" and counted
// in replaced (a character outside the basic plane counts once).
QByteArray EncodeWindows1252(const QString& text, int* replaced = nullptr);
// The text of Windows-1252 bytes. The five byte values the code page leaves open are read as
// the control characters of the same number, as Windows does.
QString DecodeWindows1252(const QByteArray& bytes);

// Checks bytes for well-formed UTF-8 piece by piece (a sequence may be split between pieces).
class Utf8Validator {
public:
    void Feed(const char* data, qsizetype size);
    void Feed(const QByteArray& bytes) { Feed(bytes.constData(), bytes.size()); }
    // True when every byte fed so far was valid and no sequence is left open.
    bool Finish() const { return m_valid && m_need == 0; }
    bool Valid() const { return m_valid; }   // no invalid byte yet (a sequence may be open)

private:
    bool m_valid = true;
    int m_need = 0;          // continuation bytes still expected
    uint8_t m_lo = 0x80;     // bounds of the next continuation byte
    uint8_t m_hi = 0xBF;
};

// The kinds of export, numbered as the export dialog's radio buttons.
enum class CsvExportKind { CurrentView = 0, Transponders = 1, Persons = 2, Events = 3 };

// The proposed file name without ending: the kind's name part in German (language 0) or
// English (any other), then the DDMMYYYY_hhmmss stamp of now.
QString CsvDefaultFileName(CsvExportKind kind, uint32_t language, const QDateTime& now = QDateTime::currentDateTime());

// The ending rule for a chosen path: a name without "." gets ".csv"; a name not ending in
// ".csv" is cut before its first "." and gets ".csv" ("export.txt" -> "export.csv",
// "my.data.csv" stays). Only the file name is looked at, so a dot in a folder name is left alone.
QString CsvFixExtension(const QString& path);

// Literals the program holds itself, in German (language 0) or English.
inline QString CsvLiteral(uint32_t language, const char* german, const char* english)
{
    return QString::fromUtf8(language == 1 ? english : german);
}
