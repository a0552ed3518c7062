#include "Commands.h"

const std::vector<CliCommand>& AllCommands()
{
    static const std::vector<CliCommand> commands = {
        {QStringLiteral("ports"), QStringLiteral("ports"),
         QStringLiteral("the COM numbers present and the devices they lead to"), {}, 0, 0, RunPorts},
        {QStringLiteral("identify"), QStringLiteral("identify [--com N] [--register-as NAME|new]"),
         QStringLiteral("goes online, shows model, device ID and name of the reader; registers a new one"),
         {QStringLiteral("com"), QStringLiteral("register-as")}, 0, 0, RunIdentify},
        {QStringLiteral("read-events"), QStringLiteral("read-events [--com N] [--all] [--from DDMMYY --to DDMMYY] [--clear]"),
         QStringLiteral("reads the reader's events into the database; --clear then empties its memory"),
         {QStringLiteral("com"), QStringLiteral("all"), QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("clear")},
         0, 0, RunReadEvents},
        {QStringLiteral("write-all"), QStringLiteral("write-all [--com N]"),
         QStringLiteral("writes transponders, time schedules and parameters into a Cedar, Maple or Rowan"),
         {QStringLiteral("com")}, 0, 0, RunWriteAll},
        {QStringLiteral("fetch-all"), QStringLiteral("fetch-all [--com N]"),
         QStringLiteral("brings the database in line with the transponder list of a Cedar, Maple or Rowan"),
         {QStringLiteral("com")}, 0, 0, RunFetchAll},
        {QStringLiteral("export"), QStringLiteral("export transponders|persons|events FILE"),
         QStringLiteral("writes a CSV file (FILE - writes to standard output)"), {}, 2, 2, RunExport},
        {QStringLiteral("import"), QStringLiteral("import transponders|persons FILE"),
         QStringLiteral("reads a CSV file; refused lines are listed one a line"), {}, 2, 2, RunImport},
        {QStringLiteral("backup"), QStringLiteral("backup FILE"),
         QStringLiteral("writes a copy of the database"), {}, 1, 1, RunBackup},
        {QStringLiteral("restore"), QStringLiteral("restore FILE [--no-safety-copy]"),
         QStringLiteral("puts a backup in place of the database, after a safety copy"),
         {QStringLiteral("no-safety-copy")}, 1, 1, RunRestore},
        {QStringLiteral("compare"), QStringLiteral("compare [--com N] [--register-as NAME]"),
         QStringLiteral("compares the reader's transponders and parameters with what write-all would write (4: they differ)"),
         {QStringLiteral("com"), QStringLiteral("register-as")}, 0, 0, RunCompare},
        {QStringLiteral("status"), QStringLiteral("status"),
         QStringLiteral("each reader with model, device ID, pending changes, its events and the last one"), {}, 0, 0, RunStatus},
        {QStringLiteral("report"), QStringLiteral("report --from DDMMYY --to DDMMYY [--reader NAME] FILE.pdf"),
         QStringLiteral("writes a PDF report of the events of that period"),
         {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("reader")}, 1, 1, RunReport},
    };
    return commands;
}
