// vendrik-cli: reads events, writes and fetches reader data, exports, imports, backs up and
// restores the database of Vendrik Manager AIO from the command line, for scheduled and
// scripted work. Nothing is asked interactively; the exit status says how it went.
#include "CliContext.h"
#include "Commands.h"
#include "base/Settings.h"
#include "link/ComPorts.h"
#include "records/StoreLocation.h"
#include "texts/CLanguageHandler.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QString UsageText()
{
    QString text = QStringLiteral("usage: vendrik-cli COMMAND [options]\n\ncommands:\n");
    for (const CliCommand& c : AllCommands())
        text += QStringLiteral("  %1\n      %2\n").arg(c.synopsis, c.summary);
    text += QStringLiteral(
        "\noptions for every command:\n"
        "  --db FILE      the database file (default: the program's database)\n"
        "  --db-url URL   a shared database, postgresql://user@host:port/database (password\n"
        "                 from ~/.pgpass; the tool never asks for one)\n"
        "  --lang de|en   language of the messages (default: the program's setting)\n"
        "  --quiet        only failures on standard error, no progress\n"
        "  --json         one JSON object with what was done on standard output\n"
        "  --yes          answer Yes where the program would ask\n"
        "  --help         this text\n"
        "\nexit status: 0 done, 1 the reader or a file failed, 2 bad usage, 3 the database could not be opened,\n"
        "4 compare found differences\n");
    return text;
}

int BadUsage(const QString& why)
{
    std::fprintf(stderr, "vendrik-cli: %s\n%s", why.toLocal8Bit().constData(), UsageText().toLocal8Bit().constData());
    return kBadUsage;
}

bool ValidDate(const QString& ddmmyy)
{
    static const QRegularExpression six(QStringLiteral("^\\d{6}$"));
    return six.match(ddmmyy).hasMatch() && QDate::fromString(ddmmyy, QStringLiteral("ddMMyy")).isValid();
}

// Parses the command line into options; an empty text when it is sound, else why not.
QString Parse(const QStringList& arguments, CliOptions& o, bool& help)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption db(QStringLiteral("db"), {}, QStringLiteral("FILE"));
    const QCommandLineOption dbUrl(QStringLiteral("db-url"), {}, QStringLiteral("URL"));
    const QCommandLineOption lang(QStringLiteral("lang"), {}, QStringLiteral("LANG"));
    const QCommandLineOption com(QStringLiteral("com"), {}, QStringLiteral("N"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("DDMMYY"));
    const QCommandLineOption to(QStringLiteral("to"), {}, QStringLiteral("DDMMYY"));
    const QCommandLineOption registerAs(QStringLiteral("register-as"), {}, QStringLiteral("NAME"));
    const QCommandLineOption reader(QStringLiteral("reader"), {}, QStringLiteral("NAME"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    p.addOptions({db, dbUrl, lang, com, from, to, registerAs, reader, helpOption});
    for (const char* flag : {"quiet", "json", "yes", "all", "clear", "no-safety-copy"})
        p.addOption(QCommandLineOption(QString::fromLatin1(flag)));
    if (!p.parse(arguments))
        return p.errorText();
    help = p.isSet(helpOption);
    if (help)
        return {};

    const QStringList positional = p.positionalArguments();
    if (positional.isEmpty())
        return QStringLiteral("no command given");
    o.command = positional.first();
    o.args = positional.mid(1);
    o.given = p.optionNames();

    const CliCommand* command = nullptr;
    for (const CliCommand& c : AllCommands())
        if (c.name == o.command)
            command = &c;
    if (!command)
        return QStringLiteral("unknown command \"%1\"").arg(o.command);
    static const QStringList global = {QStringLiteral("db"), QStringLiteral("db-url"), QStringLiteral("lang"), QStringLiteral("quiet"),
                                       QStringLiteral("json"), QStringLiteral("yes")};
    for (const QString& name : o.given)
        if (!global.contains(name) && !command->options.contains(name))
            return QStringLiteral("%1 does not take --%2").arg(o.command, name);
    if (o.args.size() < command->minArgs || o.args.size() > command->maxArgs)
        return QStringLiteral("usage: vendrik-cli %1").arg(command->synopsis);

    o.db = p.value(db);
    if (p.isSet(db) && o.db.isEmpty())
        return QStringLiteral("--db needs a file name");
    if (p.isSet(dbUrl)) {
        if (p.isSet(db))
            return QStringLiteral("--db and --db-url name two databases; give one");
        o.db = p.value(dbUrl);
        const StoreLocation where = StoreLocation::Parse(o.db, false);
        if (!where.IsShared())
            return QStringLiteral("--db-url takes a postgresql:// URL");
        if (!where.invalid.isEmpty())
            return QStringLiteral("--db-url: ") + where.invalid;
    }
    if (p.isSet(lang)) {
        const QString l = p.value(lang).toLower();
        if (l != QStringLiteral("de") && l != QStringLiteral("en"))
            return QStringLiteral("--lang takes de or en");
        o.language = l == QStringLiteral("en") ? 1 : 0;
    }
    if (p.isSet(com)) {
        // "5" or "COM5"
        const QString v = p.value(com);
        bool ok = false;
        uint32_t n = v.toUInt(&ok);
        if (!ok)
            n = ComPorts::ComNumber(v.toLatin1());
        if (n < 1 || n > ComPorts::kMaxComNumber)
            return QStringLiteral("--com takes a COM number from 1 to 256");
        o.com = n;
    }
    o.from = p.value(from);
    o.to = p.value(to);
    if (p.isSet(from) != p.isSet(to))
        return QStringLiteral("--from and --to go together");
    if (p.isSet(from) && (!ValidDate(o.from) || !ValidDate(o.to)))
        return QStringLiteral("--from and --to take a date as DDMMYY, e.g. 311226");
    o.registerAs = p.value(registerAs);
    if (p.isSet(registerAs) && o.registerAs.trimmed().isEmpty())
        return QStringLiteral("--register-as needs a reader name or \"new\"");
    o.reader = p.value(reader);
    if (p.isSet(reader) && o.reader.isEmpty())
        return QStringLiteral("--reader needs a reader name");
    o.quiet = p.isSet(QStringLiteral("quiet"));
    o.json = p.isSet(QStringLiteral("json"));
    o.yes = p.isSet(QStringLiteral("yes"));
    o.all = p.isSet(QStringLiteral("all"));
    o.clear = p.isSet(QStringLiteral("clear"));
    o.noSafetyCopy = p.isSet(QStringLiteral("no-safety-copy"));
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    // The report draws text, which needs the fonts of a GUI application; no window opens.
    const bool drawing = std::any_of(argv + 1, argv + argc, [](const char* a) { return qstrcmp(a, "report") == 0; });
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        drawing ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vendrik-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("Brimlow"));

    CliOptions options;
    bool help = false;
    const QString why = Parse(QCoreApplication::arguments(), options, help);
    if (help) {
        std::printf("%s", UsageText().toLocal8Bit().constData());
        return kDone;
    }
    if (!why.isEmpty())
        return BadUsage(why);

    // Texts as the program finds them: the working directory's SysFiles first. The core's own
    // two-language messages follow --lang too, without changing the stored setting.
    if (options.language >= 0)
        Settings::SetLanguageForThisRun(options.language);
    const uint32_t language = Settings::ReadLanguage();
    CLanguageHandler lang(language, QDir::currentPath() + QStringLiteral("/SysFiles/"));
    CliContext ctx(options, &lang);
    if (!lang.IsLoaded())
        ctx.Prompt().Message(QStringLiteral("language texts not found; looked for: ") +
                                 lang.SearchedFiles().join(QStringLiteral(", ")),
                             {}, PromptIcon::Warning);

    for (const CliCommand& c : AllCommands())
        if (c.name == options.command)
            return ctx.Finish(c.run(ctx));
    return BadUsage(QStringLiteral("unknown command"));
}
