#include "exchange/CsvText.h"

#include "base/TimeStamp.h"

#include <QHash>

namespace {

// Characters of the bytes 0x80 to 0x9F; 0 marks the five bytes the code page leaves open.
constexpr char16_t kHigh[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

const QHash<char16_t, char>& HighBytes()
{
    static const QHash<char16_t, char> map = [] {
        QHash<char16_t, char> m;
        for (int i = 0; i < 32; ++i)
            m.insert(kHigh[i] ? kHigh[i] : char16_t(0x80 + i), char(0x80 + i));
        return m;
    }();
    return map;
}

} // namespace

QByteArray EncodeWindows1252(const QString& text, int* replaced)
{
    QByteArray out;
    out.reserve(text.size());
    int missing = 0;
    const QHash<char16_t, char>& high = HighBytes();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.append(char(c));
            continue;
        }
        const auto it = high.constFind(c);
        if (it != high.constEnd()) {
            out.append(*it);
            continue;
        }
        out.append('?');
        ++missing;
        // The two halves of a character outside the basic plane are one character.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    if (replaced)
        *replaced = missing;
    return out;
}

QString DecodeWindows1252(const QByteArray& bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(bytes.at(i));
        char16_t c = b;
        if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80])
            c = kHigh[b - 0x80];
        d[i] = QChar(c);
    }
    return out;
}

void Utf8Validator::Feed(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size && m_valid; ++i) {
        const auto b = static_cast<uint8_t>(data[i]);
        if (m_need > 0) {
            if (b < m_lo || b > m_hi) {
                m_valid = false;
                break;
            }
            --m_need;
            m_lo = 0x80;
            m_hi = 0xBF;
            continue;
        }
        if (b < 0x80)
            continue;
        m_lo = 0x80;
        m_hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            m_need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            m_need = 2;
            if (b == 0xE0)
                m_lo = 0xA0;          // no overlong forms
            else if (b == 0xED)
                m_hi = 0x9F;          // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            m_need = 3;
            if (b == 0xF0)
                m_lo = 0x90;
            else if (b == 0xF4)
                m_hi = 0x8F;          // nothing above U+10FFFF
        } else {
            m_valid = false;
        }
    }
}

QString CsvDefaultFileName(CsvExportKind kind, uint32_t language, const QDateTime& now)
{
    QString name;
    switch (kind) {
    case CsvExportKind::CurrentView: name = CsvLiteral(language, "Aktuelle_Ansicht_", "Current_view_"); break;
    case CsvExportKind::Transponders: name = QStringLiteral("Transponder_"); break;
    case CsvExportKind::Persons: name = CsvLiteral(language, "Personen_", "Persons_"); break;
    case CsvExportKind::Events: name = CsvLiteral(language, "Ereignisse_", "Events_"); break;
    }
    return name + FileTimeStamp(now);
}

QString CsvFixExtension(const QString& path)
{
    const qsizetype slash = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const QString folder = path.left(slash + 1);
    QString name = path.mid(slash + 1);
    if (!name.contains(QLatin1Char('.')))
        return folder + name + QStringLiteral(".csv");
    if (!name.endsWith(QStringLiteral(".csv")))
        name = name.left(name.indexOf(QLatin1Char('.'))) + QStringLiteral(".csv");
    return folder + name;
}
