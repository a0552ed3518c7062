#pragma once
// What every subcommand of vendrik-cli works with: the parsed options, the language texts, the
// prompt that answers for the user, the progress display and the JSON result.
#include "CliProgress.h"
#include "CliPrompt.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

class CLanguageHandler;
class CStoreDB_Handler;

// Exit status of the tool.
enum CliStatus { kDone = 0, kFailed = 1, kBadUsage = 2, kNoDatabase = 3, kDiffers = 4 };

struct CliOptions {
    QString command;
    QStringList args;          // positional arguments after the subcommand
    QString db;                // --db FILE or --db-url URL; empty: the program's database
    int language = -1;         // --lang: 0 de, 1 en; -1: the "nLanguage" setting
    uint32_t com = 0;          // --com N; 0: the "nAktCOM" setting
    bool quiet = false;
    bool json = false;
    bool yes = false;
    bool all = false;          // read-events: the whole memory, not up to the event pointer
    QString from, to;          // read-events: DDMMYY
    bool clear = false;        // read-events: empty the reader's memory when all was stored
    QString registerAs;        // identify: a desk reader's name, or "new"
    QString reader;            // report: the reader's name
    bool noSafetyCopy = false; // restore
    QStringList given;         // names of the options given, to check them against the subcommand
};

class CliContext {
public:
    CliContext(const CliOptions& options, CLanguageHandler* lang);

    const CliOptions& Options() const { return m_options; }
    CLanguageHandler* Lang() const { return m_lang; }
    QString Text(uint32_t number) const;                        // text by number, trimmed of line breaks
    QString Literal(const char* german, const char* english) const;   // the tool's own words
    bool English() const;

    CliPrompt& Prompt() { return m_prompt; }
    CliProgress& Progress() { return m_progress; }

    // The database the tool works on: --db FILE, else the program's. The only place where a
    // database is opened; the handler may come back not open (DatabaseError says why).
    std::unique_ptr<CStoreDB_Handler> OpenStore() const;

    // The JSON object printed with --json; commands add what they did.
    QJsonObject& Result() { return m_result; }
    // Plain output on standard output (nothing with --json).
    void Print(const QString& line) const;
    // Prints the JSON object (with --json) and returns the status.
    int Finish(int status);

private:
    CliOptions m_options;
    CLanguageHandler* m_lang;
    CliTerminal m_terminal;
    CliPrompt m_prompt;
    CliProgress m_progress;
    QJsonObject m_result;
};
