#pragma once
// The subcommands of vendrik-cli. Each is a thin caller of the core the windows use and
// returns the exit status (CliStatus).
#include "CliContext.h"

#include <QStringList>
#include <functional>
#include <vector>

class CStoreDB_Handler;

struct CliCommand {
    QString name;
    QString synopsis;        // the usage line after "vendrik-cli"
    QString summary;         // one line of what it does
    QStringList options;     // options it takes besides --db, --lang, --quiet, --json, --yes
    int minArgs = 0;
    int maxArgs = 0;
    std::function<int(CliContext&)> run;
};

const std::vector<CliCommand>& AllCommands();

// Opens the database and runs fn on it; a database that cannot be opened is reported and
// gives status 3.
int WithDatabase(CliContext& ctx, const std::function<int(CliContext&, CStoreDB_Handler&)>& fn);

int RunPorts(CliContext& ctx);
int RunIdentify(CliContext& ctx);
int RunReadEvents(CliContext& ctx);
int RunWriteAll(CliContext& ctx);
int RunFetchAll(CliContext& ctx);
int RunExport(CliContext& ctx);
int RunImport(CliContext& ctx);
int RunBackup(CliContext& ctx);
int RunRestore(CliContext& ctx);
int RunCompare(CliContext& ctx);
int RunStatus(CliContext& ctx);
int RunReport(CliContext& ctx);
