#pragma once
// Standard error of the tool: messages, and the progress of long runs. On a terminal the
// progress is one bar redrawn in place; otherwise (a log file, cron's mail) a few plain lines.
#include <mutex>
#include <QString>

// Writes lines to standard error so that a message never lands in the middle of a drawn bar.
// Any thread (a standard mutex, which the thread sanitizer sees through).
class CliTerminal {
public:
    CliTerminal();
    bool IsTerminal() const { return m_tty; }
    void Line(const QString& text);          // a line of its own (ends an open bar line first)
    void Bar(const QString& text);           // redraws the bar line in place
    void EndBar();                           // the bar line is done

private:
    std::mutex m_mutex;
    bool m_tty = false;
    bool m_barOpen = false;
};

class CliProgress {
public:
    CliProgress(CliTerminal& terminal, bool enabled);

    void Start(const QString& label, int maximum);   // maximum 0: not known yet
    void SetMaximum(int maximum);
    void SetLabel(const QString& label);
    void Step(int position);
    void End();                                       // the last position stays shown

private:
    void Draw(bool force);

    CliTerminal& m_terminal;
    bool m_enabled;
    bool m_active = false;
    QString m_label;
    int m_maximum = 0;
    int m_position = 0;
    int m_lastTenth = -1;   // plain lines: one per tenth of the way
};
