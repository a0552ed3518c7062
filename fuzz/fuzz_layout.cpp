// Any text as the grid layout file. Either the file is refused with a reason, or it is read;
// then sizes stored by the grids change only what they store, and the layout saved and read
// again gives the same sizes as the one in memory.
#include "FuzzCheck.h"
#include "layout/CDialogSetup.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Two of the ids the table views use, and the empty one (the seed files use the same).
const QStringList& Dialogs()
{
    static const QStringList ids{"01", "03", ""};
    return ids;
}
const QStringList& Grids()
{
    static const QStringList ids{"0", ""};
    return ids;
}
constexpr int kColumns = 4;
constexpr std::size_t kPerGrid = 2 + 1 + kColumns;   // two heights, columns -1 to kColumns-1

std::vector<int> Sizes(const CDialogSetup& setup)
{
    std::vector<int> out;
    for (const QString& d : Dialogs())
        for (const QString& g : Grids()) {
            out.push_back(setup.ReadGridHeight(d, g, 1));
            out.push_back(setup.ReadGridHeight(d, g, 0));
            for (int c = -1; c < kColumns; ++c)
                out.push_back(setup.ReadColumnWidth(d, g, c));
        }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

// Files of a megabyte, once per run (the fuzzer itself keeps to short inputs to stay fast):
// dialogs nested a hundred thousand deep, and one attribute of a megabyte.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const int depth = 100000;
    QByteArray nested = "<dialogsetup>";
    for (int i = 0; i < depth; ++i)
        nested += "<dialog id=\"01\">";
    nested += "<grid id=\"0\" rowheight=\"7\"/>";
    for (int i = 0; i < depth; ++i)
        nested += "</dialog>";
    nested += "</dialogsetup>";
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(nested.constData()), std::size_t(nested.size()));

    const QByteArray wide = "<dialogsetup><dialog id=\"" + QByteArray(1 << 20, '1') + "\"/></dialogsetup>";
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(wide.constData()), std::size_t(wide.size()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    CDialogSetup setup;
    QString reason;
    int line = -1;
    if (!setup.Load(content, &reason, &line)) {
        FUZZ_CHECK(!reason.isEmpty());
        FUZZ_CHECK(line >= 0);
        return 0;
    }

    // The last bytes of the input choose where and what the grids store.
    const uint8_t pick = size ? data[size - 1] : 0;
    const int d = pick % int(Dialogs().size());
    const int g = (pick / 8) % int(Grids().size());
    const int column = pick % kColumns;
    const int value = size >= 2 ? int(data[size - 2]) * 7 - 100 : 42;
    std::vector<int> expected = Sizes(setup);
    const std::size_t at = std::size_t(d * int(Grids().size()) + g) * kPerGrid;
    expected[at] = value;
    expected[at + 1] = value + 1;
    expected[at + 3 + std::size_t(column)] = value + 2;
    setup.StoreGridHeight(Dialogs()[d], Grids()[g], 1, value);
    setup.StoreGridHeight(Dialogs()[d], Grids()[g], 0, value + 1);
    setup.StoreColumnWidth(Dialogs()[d], Grids()[g], column, value + 2);
    FUZZ_CHECK(Sizes(setup) == expected);

    CDialogSetup again;
    const int reloaded = again.Load(setup.Content(), &reason, &line);
    if (!reloaded)
        std::fprintf(stderr, "saved layout refused in line %d: %s\n", line, qPrintable(reason));
    FUZZ_CHECK(reloaded == 1);
    FUZZ_CHECK(Sizes(again) == expected);
    return 0;
}
