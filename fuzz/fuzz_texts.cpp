// Any contents of a language text file. The reading takes what it can and never fails; every
// text it took, written out again in the file's own format, reads back the same.
#include "FuzzCheck.h"
#include "texts/CLanguageHandler.h"

#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

QHash<uint32_t, QString> Parse(const QByteArray& bytes)
{
    QBuffer device;
    device.setData(bytes);
    FUZZ_CHECK(device.open(QIODevice::ReadOnly | QIODevice::Text));
    return CLanguageHandler::ParseTexts(device);
}

// The file format's escapes, the other way round.
QString Escaped(const QString& text)
{
    QString out;
    out.reserve(2 * text.size());
    for (QChar c : text) {
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else
            out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

// Files of a megabyte, once per run (the fuzzer itself keeps to short inputs to stay fast):
// one text of a megabyte of escapes, and a megabyte of lines.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QByteArray escapes = "1\t";
    while (escapes.size() < (1 << 20))
        escapes += "\\n\\t\\\\";
    QByteArray lines;
    for (int n = 0; lines.size() < (1 << 20); ++n)
        lines += QByteArray::number(n % 300) + "\t" + QByteArray::number(n) + "\n";
    for (const QByteArray& bytes : {escapes, lines})
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QHash<uint32_t, QString> texts = Parse(bytes);
    FUZZ_CHECK(texts.size() <= bytes.count('\n') + 1);

    // A carriage return that ends a text cannot be written in the format (it would end the
    // line), so such texts are left out of the round trip.
    QHash<uint32_t, QString> writable;
    writable.reserve(texts.size());
    QString file;
    file.reserve(2 * qsizetype(size) + 16 * texts.size());
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        FUZZ_CHECK(it.value().size() < qsizetype(size));
        if (it.value().endsWith(u'\r'))
            continue;
        writable.insert(it.key(), it.value());
        file += QString::number(it.key()) + u'\t' + Escaped(it.value()) + u'\n';
    }
    FUZZ_CHECK(Parse(file.toUtf8()) == writable);
    return 0;
}
