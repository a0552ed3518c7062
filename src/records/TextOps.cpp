#include "records/TextOps.h"

#include <algorithm>

QStringList SplitText(const QString& text, QChar sep)
{
    if (text.isEmpty())
        return {};
    return text.split(sep, Qt::KeepEmptyParts);
}

int HexTextToNumber(const QString& text, uint64_t& value)
{
    const QString t = text.toUpper();
    if (t.isEmpty() || t.size() > 16)
        return 0;
    uint64_t v = 0;
    for (QChar ch : t) {
        int d;
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
            d = ch.unicode() - '0';
        else if (ch >= QLatin1Char('A') && ch <= QLatin1Char('F'))
            d = ch.unicode() - 'A' + 10;
        else
            return 0;
        v = v * 16 + uint64_t(d);
    }
    value = v;
    return 1;
}

QString BinTextToHex(const QString& bits)
{
    for (QChar ch : bits)
        if (ch != QLatin1Char('0') && ch != QLatin1Char('1'))
            return {};
    const QString filled = QString((4 - bits.size() % 4) % 4, QLatin1Char('0')) + bits;
    QString hex;
    for (qsizetype i = 0; i < filled.size(); i += 4) {
        int nibble = 0;
        for (qsizetype k = 0; k < 4; ++k)
            nibble = nibble * 2 + (filled[i + k] == QLatin1Char('1') ? 1 : 0);
        hex += QLatin1Char("0123456789ABCDEF"[nibble]);
    }
    return hex;
}

namespace {
int32_t PieceValue(const QString& piece)
{
    bool ok = false;
    const int32_t v = piece.toInt(&ok, 10);
    return ok ? v : 0;
}
} // namespace

QList<int32_t> ParseReaders(const QString& readers)
{
    QList<int32_t> ids;
    for (const QString& piece : SplitText(readers, QLatin1Char(';')))
        ids << PieceValue(piece);
    return ids;
}

QList<int32_t> ReaderIDs(const QString& readers)
{
    QList<int32_t> ids;
    for (int32_t id : ParseReaders(readers))
        if (id > 0)
            ids << id;
    return ids;
}

bool HasReader(const QString& readers, int32_t readerId)
{
    return readerId > 0 && ParseReaders(readers).contains(readerId);
}

QString AddReader(const QString& readers, int32_t readerId)
{
    if (readerId <= 0 || HasReader(readers, readerId))
        return readers;
    return readers + QLatin1Char(';') + QString::number(readerId);
}

QString AddReaderToAll(const QString& readers, int32_t readerId)
{
    if (readerId <= 0 || HasReader(readers, readerId))
        return readers;
    QString out;
    for (const QString& piece : SplitText(readers, QLatin1Char(';')))
        out += piece + QLatin1Char(';');
    return out + QString::number(readerId);
}

QString RemoveReader(const QString& readers, int32_t readerId)
{
    QStringList pieces = SplitText(readers, QLatin1Char(';'));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (readerId > 0 && PieceValue(pieces[i]) == readerId) {
            pieces.removeAt(i);
            return pieces.join(QLatin1Char(';'));
        }
    }
    return readers;
}

bool HasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar ch) { return ch.category() == QChar::Other_Control; });
}

bool IsValidName(const QString& name)
{
    return !name.contains(QLatin1Char(';')) && !HasControlCharacter(name);
}
