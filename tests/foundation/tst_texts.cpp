// The language texts: every number the program asks for exists in both languages, format
// texts carry exactly the conversions their callers pass, the folder search order, and
// reading while another thread switches the language.
#include "app/Paths.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kHighestText = 247;

// The printf conversions of a text, in order ("%%" is no conversion).
QStringList Conversions(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("%([-+ #0]*\\d*(?:\\.\\d+)?(?:hh|h|ll|l|L|z|j|t)?[diouxXeEfgGcspn%])"));
    QStringList out;
    for (auto it = re.globalMatch(text); it.hasNext();) {
        const QString c = it.next().captured(1);
        if (c != QLatin1String("%"))
            out << QLatin1Char('%') + c;
    }
    return out;
}

void WriteTexts(const QString& folder, const QString& name, const QByteArray& content)
{
    QDir().mkpath(folder);
    QFile f(QDir(folder).filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class TestTexts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        Paths::SetProgramDir(QString());
    }

    void everyNumberHasText_data()
    {
        QTest::addColumn<uint32_t>("language");
        QTest::newRow("German") << 0u;
        QTest::newRow("English") << 1u;
    }
    void everyNumberHasText()
    {
        QFETCH(uint32_t, language);
        // An empty folder: the texts come from beside the program, where the build puts them.
        QTemporaryDir empty;
        CLanguageHandler lang(language, empty.path() + QStringLiteral("/SysFiles/"));
        QVERIFY(lang.IsLoaded());
        QVERIFY(lang.LoadedFrom().startsWith(Paths::ProgramDir()));
        QStringList missing;
        for (uint32_t n = 1; n <= kHighestText; ++n)
            if (lang.GetLangItem(n).trimmed().isEmpty())
                missing << QString::number(n);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u',')));
        QVERIFY(lang.GetLangItem(0).isEmpty());
        QVERIFY(lang.GetLangItem(100000).isEmpty());
    }

    // Every text is used somewhere as a printf format or beside one; only these may hold a
    // conversion, and exactly those their callers pass.
    void formatTexts_data()
    {
        QTest::addColumn<uint32_t>("language");
        QTest::newRow("German") << 0u;
        QTest::newRow("English") << 1u;
    }
    void formatTexts()
    {
        QFETCH(uint32_t, language);
        const QHash<uint32_t, QStringList> formats = {
            {94, {QStringLiteral("%d")}},    // line number of a foreign import line
            {103, {QStringLiteral("%d")}},   // port number while connecting
            {200, {QStringLiteral("%d")}},   // events read
            {240, {QStringLiteral("%d")}},   // transponders written
        };
        QTemporaryDir empty;
        CLanguageHandler lang(language, empty.path() + QStringLiteral("/SysFiles/"));
        for (uint32_t n = 1; n <= kHighestText; ++n) {
            const QString text = lang.GetLangItem(n);
            QCOMPARE(Conversions(text), formats.value(n));
            if (!formats.contains(n))
                QVERIFY2(!text.contains(u'%'), qPrintable(QStringLiteral("text %1: %2").arg(n).arg(text)));
        }
        QCOMPARE(QString::asprintf(qPrintable(lang.GetLangItem(103)), 7).contains(QStringLiteral("COM7")), true);
    }

    void fixedWording_data()
    {
        QTest::addColumn<uint32_t>("language");
        QTest::addColumn<uint32_t>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("German title") << 0u << 74u << "Velmora Manager";
        QTest::newRow("English title") << 1u << 74u << "Velmoro Manager";
        QTest::newRow("built-in schedule, English") << 1u << 81u << "Full access";
        QTest::newRow("built-in schedule, German") << 0u << 81u << "Vollzugriff";
        QTest::newRow("readers") << 0u << 14u << "Leser";
        QTest::newRow("persons") << 1u << 16u << "Persons";
    }
    void fixedWording()
    {
        QFETCH(uint32_t, language);
        QFETCH(uint32_t, number);
        QFETCH(QString, text);
        QTemporaryDir empty;
        QCOMPARE(CLanguageHandler(language, empty.path()).GetLangItem(number), text);
    }

    // The tree tells categories apart by their text, the reader registration finds the Birch
    // entry by the model word, and prefixes are followed directly by a value.
    void textsThatOthersRelyOn()
    {
        QTemporaryDir empty;
        for (uint32_t language : {0u, 1u}) {
            CLanguageHandler lang(language, empty.path());
            QStringList tree;
            for (uint32_t n : {13u, 14u, 15u, 16u, 17u, 18u, 81u})
                tree << lang.GetLangItem(n);
            QCOMPARE(QSet<QString>(tree.begin(), tree.end()).size(), tree.size());
            QVERIFY(lang.GetLangItem(123).contains(QStringLiteral("Birch")));
            QVERIFY(lang.GetLangItem(224).contains(QStringLiteral("Alder")));
            for (uint32_t n : {109u, 110u, 114u, 141u, 201u, 202u, 203u, 211u, 212u, 216u})
                QVERIFY2(lang.GetLangItem(n).endsWith(u' '), qPrintable(QString::number(n)));
            // Export fields are separated by ";": the prefixes written into them never hold one.
            QVERIFY(!lang.GetLangItem(202).contains(u';') && !lang.GetLangItem(203).contains(u';'));
        }
    }

    void fileFormatAndSearchOrder()
    {
        QTemporaryDir work;
        const QString folder = work.path() + QStringLiteral("/SysFiles/");
        WriteTexts(folder, QStringLiteral("texts_de.txt"),
                   "# comment line\n74\tHier\n5\tzwei\\nZeilen\\tund \\\\ Strich\n\nkaputt\n"
                   "x7\tnicht gelesen\n  9\tmit Blanks \n");
        CLanguageHandler lang(0, folder);
        QCOMPARE(lang.LoadedFrom(), QDir(folder).filePath(QStringLiteral("texts_de.txt")));
        QCOMPARE(lang.GetLangItem(74), QStringLiteral("Hier"));
        QCOMPARE(lang.GetLangItem(5), QStringLiteral("zwei\nZeilen\tund \\ Strich"));
        QCOMPARE(lang.GetLangItem(9), QStringLiteral("mit Blanks "));
        QVERIFY(lang.GetLangItem(7).isEmpty());

        // The working directory holds no English file: the one beside the program is used.
        lang.SetAktLanguage(1);
        lang.GetAllItems();
        QCOMPARE(lang.GetAktivLanguage(), 1u);
        QCOMPARE(lang.GetLangItem(74), QStringLiteral("Velmoro Manager"));
        QVERIFY(lang.LoadedFrom().startsWith(Paths::ProgramDir()));

        // Neither place has texts: every number gives an empty text, nothing fails.
        Paths::SetProgramDir(work.path() + QStringLiteral("/nowhere"));
        CLanguageHandler none(1, work.path() + QStringLiteral("/nowhere/"));
        Paths::SetProgramDir(QString());
        QVERIFY(!none.IsLoaded());
        QVERIFY(none.GetLangItem(74).isEmpty());
    }

    void readersWhileLanguageSwitches()
    {
        QTemporaryDir empty;
        CLanguageHandler lang(0, empty.path());
        const QSet<QString> titles{QStringLiteral("Velmora Manager"), QStringLiteral("Velmoro Manager")};
        std::atomic<bool> stop{false};
        std::atomic<int> bad{0};
        std::atomic<int> reads{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < 3; ++i)
            readers.emplace_back([&] {
                while (!stop.load()) {
                    if (!titles.contains(lang.GetLangItem(74)))
                        ++bad;
                    ++reads;
                }
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
