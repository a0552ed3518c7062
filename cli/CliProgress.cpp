#include "CliProgress.h"

#include <cstdio>
#include <unistd.h>

CliTerminal::CliTerminal() : m_tty(::isatty(STDERR_FILENO) == 1) {}

void CliTerminal::Line(const QString& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_barOpen) {
        std::fputc('\n', stderr);
        m_barOpen = false;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void CliTerminal::Bar(const QString& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
    std::fflush(stderr);
    m_barOpen = true;
}

void CliTerminal::EndBar()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_barOpen) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        m_barOpen = false;
    }
}

CliProgress::CliProgress(CliTerminal& terminal, bool enabled) : m_terminal(terminal), m_enabled(enabled) {}

void CliProgress::Start(const QString& label, int maximum)
{
    m_active = true;
    m_label = label;
    m_maximum = maximum;
    m_position = 0;
    m_lastTenth = -1;
    Draw(true);
}

void CliProgress::SetMaximum(int maximum)
{
    m_maximum = maximum;
    m_lastTenth = -1;
    Draw(true);
}

void CliProgress::SetLabel(const QString& label)
{
    m_label = label;
    Draw(true);
}

void CliProgress::Step(int position)
{
    m_position = position;
    Draw(false);
}

void CliProgress::End()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_enabled && m_terminal.IsTerminal())
        m_terminal.EndBar();
}

void CliProgress::Draw(bool force)
{
    if (!m_enabled || !m_active)
        return;
    const QString count = m_maximum > 0 ? QStringLiteral("%1/%2").arg(m_position).arg(m_maximum) : QString();
    if (m_terminal.IsTerminal()) {
        if (m_maximum <= 0) {
            m_terminal.Bar(m_label);   // the range is not known yet
            return;
        }
        constexpr int kWidth = 30;
        const int filled = m_maximum > 0 ? qBound(0, m_position * kWidth / m_maximum, kWidth) : 0;
        m_terminal.Bar(QStringLiteral("%1 [%2%3] %4")
                           .arg(m_label, QString(filled, u'#'), QString(kWidth - filled, u' '), count));
        return;
    }
    // A log gets the start and one line per tenth of the way, not one per step.
    const int tenth = m_maximum > 0 ? qBound(0, m_position * 10 / m_maximum, 10) : 0;
    if (!force && tenth == m_lastTenth)
        return;
    m_lastTenth = tenth;
    m_terminal.Line(count.isEmpty() ? m_label : m_label + QLatin1Char(' ') + count);
}
