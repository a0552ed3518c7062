// Any text as the grid layout file. Either the file is refused with a reason, or it is read,
// and then: what was read survives saving and reading again, and sizes stored afterwards are
// read back, also after saving and reading again.
#include "FuzzCheck.h"
#include "layout/CDialogSetup.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// The ids the table views use, and a few they do not (the seed files use the same).
const std::array<const char*, 7> kDialogs = {"01", "02", "03", "04", "05", "", "x"};
const std::array<const char*, 3> kGrids = {"0", "1", ""};
constexpr int kColumns = 6;

std::vector<int> Sizes(const CDialogSetup& setup)
{
    std::vector<int> out;
    for (const char* d : kDialogs)
        for (const char* g : kGrids) {
            out.push_back(setup.ReadGridHeight(QString::fromLatin1(d), QString::fromLatin1(g), 1));
            out.push_back(setup.ReadGridHeight(QString::fromLatin1(d), QString::fromLatin1(g), 0));
            for (int c = -1; c < kColumns; ++c)
                out.push_back(setup.ReadColumnWidth(QString::fromLatin1(d), QString::fromLatin1(g), c));
        }
    return out;
}

// Saved and read into a store of its own, the layout gives the same sizes.
void SurvivesSaving(const CDialogSetup& setup)
{
    CDialogSetup again;
    QString reason;
    int line = 0;
    const int loaded = again.Load(setup.Content(), &reason, &line);
    if (!loaded)
        std::fprintf(stderr, "saved layout refused in line %d: %s\n", line, qPrintable(reason));
    FUZZ_CHECK(loaded == 1);
    FUZZ_CHECK(Sizes(again) == Sizes(setup));
}

} // namespace

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
    SurvivesSaving(setup);

    // Sizes stored by the grids: the last bytes of the input choose where and what.
    const uint8_t pick = size ? data[size - 1] : 0;
    const QString dialog = QString::fromLatin1(kDialogs[pick % kDialogs.size()]);
    const QString grid = QString::fromLatin1(kGrids[(pick / 8) % kGrids.size()]);
    const int column = pick % kColumns;
    const int value = size >= 2 ? int(data[size - 2]) * 7 - 100 : 42;
    setup.StoreGridHeight(dialog, grid, 1, value);
    setup.StoreGridHeight(dialog, grid, 0, value + 1);
    setup.StoreColumnWidth(dialog, grid, column, value + 2);
    FUZZ_CHECK(setup.ReadGridHeight(dialog, grid, 1) == value);
    FUZZ_CHECK(setup.ReadGridHeight(dialog, grid, 0) == value + 1);
    FUZZ_CHECK(setup.ReadColumnWidth(dialog, grid, column) == value + 2);
    SurvivesSaving(setup);
    return 0;
}
