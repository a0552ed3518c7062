// Any file offered to the CSV import, read as transponders or as persons: the reading (code
// page, byte-order mark, line ends, which lines are taken) and the splitting of every taken
// line into its fields. The store is left out; what is checked is what the reading decides.
#include "FuzzCheck.h"
#include "exchange/CsvImport.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

void ReadAs(const QByteArray& bytes, CsvImportKind kind, bool stopAtForeign)
{
    int foreign = 0;
    CsvImportHooks hooks;
    hooks.askForeignLine = [&](int) {
        ++foreign;
        return !stopAtForeign;
    };
    CCsvImporter importer(nullptr, nullptr, hooks);
    QBuffer device;
    device.setData(bytes);
    FUZZ_CHECK(device.open(QIODevice::ReadOnly));
    const CsvReadResult r = importer.ReadDevice(device, kind);

    FUZZ_CHECK(r.opened);
    FUZZ_CHECK(r.error.isEmpty());
    // Well-formed UTF-8 is exactly what survives the trip through a text unchanged (Qt drops a
    // leading byte-order mark on the way).
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    FUZZ_CHECK(r.utf8 == (QString::fromUtf8(bytes).toUtf8() == body));
    FUZZ_CHECK(r.linesRead <= bytes.count('\n') + 1);
    FUZZ_CHECK(r.taken.size() + foreign == r.linesRead);
    FUZZ_CHECK(r.stopped == (stopAtForeign && foreign > 0));
    if (r.stopped)
        FUZZ_CHECK(foreign == 1);

    const bool transponders = kind == CsvImportKind::Transponders;
    for (const QString& taken : r.taken) {
        FUZZ_CHECK(!taken.contains(u'\n'));
        // The type word's ";" counts: a transponder line has at least three fields.
        FUZZ_CHECK(taken.count(u';') + 2 >= (transponders ? 3 : 2));

        CsvLineFields f;
        const bool accepted = ParseCsvLine(kind, taken, &f);
        // The fields put together again are the taken text, up to the ";"s of missing fields.
        QString joined = transponders ? f.number + u';' + f.person : f.person + u';' + f.number;
        joined += u';' + f.schedule;
        for (const QString& reader : f.readers)
            joined += u';' + reader;
        FUZZ_CHECK(joined.count(u';') == 2 + f.readers.size());   // no field holds a ";"
        while (joined.size() > taken.size() && joined.endsWith(u';'))
            joined.chop(1);
        FUZZ_CHECK(joined == taken);
        if (transponders) {
            FUZZ_CHECK(accepted == (f.number.size() == 10));
        } else {
            const bool named = !f.person.isEmpty() && f.person != QLatin1String("---");
            FUZZ_CHECK(accepted == (named && (f.number.isEmpty() || f.number.size() == 10)));
        }
    }
}

} // namespace

// Files of a megabyte, once per run (the fuzzer itself keeps to short inputs to stay fast):
// one line of a megabyte, and a megabyte of empty fields.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QByteArray line = "Transponder;" + QByteArray(1 << 20, 'x') + ";P;S\n";
    const QByteArray fields = "Person;P;" + QByteArray(1 << 20, ';') + "\r\n";
    for (const QByteArray& bytes : {line, fields}) {
        ReadAs(bytes, CsvImportKind::Transponders, false);
        ReadAs(bytes, CsvImportKind::Persons, false);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The length chooses the kind and whether the user stops at the first foreign line, so
    // every input is read once and the fuzzer still tries every file four ways.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ReadAs(bytes, size % 2 ? CsvImportKind::Persons : CsvImportKind::Transponders, size % 4 >= 2);
    return 0;
}
