// The language texts: every number the program asks for exists in both languages, format
// texts carry exactly the conversions their callers pass, the file format,
// and reading while another thread switches the language.
#include "support/FoundationFixture.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QRegularExpression>
#include <atomic>
#include <thread>
#include <vector>

using namespace VmTest;

class TestTexts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IsolateHome(); }

    void everyNumberHasText_data()
    {
        QTest::addColumn<uint32_t>("language");
        QTest::newRow("German") << 0u;
        QTest::newRow("English") << 1u;
    }
    void everyNumberHasText()
    {
        QFETCH(uint32_t, language);
        // Only these texts are printf formats, each with what its caller passes: line number of
        // a foreign import line, port while connecting, events read, transponders written.
        const QHash<uint32_t, QStringList> formats = {{94, {"%d"}}, {103, {"%d"}}, {200, {"%d"}}, {240, {"%d"}}};
        static const QRegularExpression conversion(QStringLiteral("%[-+ #0]*\\d*(?:\\.\\d+)?(?:hh|h|ll|l|L|z|j|t)?[diouxXeEfgGcspn]"));
        // An empty folder: the texts come from beside the program, where the build puts them.
        QTemporaryDir empty;
        CLanguageHandler lang(language, empty.path() + QStringLiteral("/SysFiles/"));
        QVERIFY(lang.LoadedFrom().startsWith(Paths::ProgramDir()));
        for (uint32_t n = 1; n <= 247; ++n) {
            const QString text = lang.GetLangItem(n);
            QVERIFY2(!text.trimmed().isEmpty(), qPrintable(QString::number(n)));
            QStringList found;
            for (auto it = conversion.globalMatch(QString(text).replace(QStringLiteral("%%"), QString())); it.hasNext();)
                found << it.next().captured(0);
            QVERIFY2(found == formats.value(n), qPrintable(QStringLiteral("%1: %2").arg(n).arg(text)));
        }
        QVERIFY(QString::asprintf(qPrintable(lang.GetLangItem(103)), 7).contains(QStringLiteral("COM7")));
        // The tree tells its categories apart by their text.
        QSet<QString> tree;
        for (uint32_t n : {13u, 14u, 15u, 16u, 17u, 18u, 81u})
            tree << lang.GetLangItem(n);
        QCOMPARE(tree.size(), 7);
    }

    void fileFormat()
    {
        QTemporaryDir folder;
        WriteFile(folder.filePath(QStringLiteral("texts_de.txt")),
                  "# comment line\n74\tHier\n5\tzwei\\nZeilen\\tund \\\\ Strich\n\nkaputt\nx7\tnicht gelesen\n  9\tmit Blanks \n");
        CLanguageHandler lang(0, folder.path() + u'/');
        QCOMPARE(lang.GetLangItem(74), QStringLiteral("Hier"));
        QCOMPARE(lang.GetLangItem(5), QStringLiteral("zwei\nZeilen\tund \\ Strich"));
        QCOMPARE(lang.GetLangItem(9), QStringLiteral("mit Blanks "));
        QVERIFY(lang.GetLangItem(7).isEmpty());
    }

    void readersWhileLanguageSwitches()
    {
        QTemporaryDir empty;
        CLanguageHandler lang(0, empty.path());
        const QSet<QString> titles{QStringLiteral("Velmora Manager"), QStringLiteral("Velmoro Manager")};
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0}, reads{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < 3; ++i)
            readers.emplace_back([&] {
                for (; !stop.load(); ++reads)
                    bad += !titles.contains(lang.GetLangItem(74));
            });
        for (int i = 0; i < 60; ++i) {
            lang.SetAktLanguage(i % 2);
            lang.GetAllItems();
        }
        stop = true;
        for (auto& t : readers)
            t.join();
        QCOMPARE(bad.load(), 0);
        QVERIFY(reads.load() > 0);
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
