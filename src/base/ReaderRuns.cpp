#include "base/ReaderRuns.h"

#include "base/Prompt.h"

#include <atomic>

namespace ReaderRuns {

namespace {
std::atomic<int> g_active{0};
}

Token& Token::operator=(Token&& other) noexcept
{
    if (this != &other) {
        Release();
        m_active = other.m_active;
        other.m_active = false;
    }
    return *this;
}

void Token::Release()
{
    if (m_active) {
        m_active = false;
        g_active.fetch_sub(1);
    }
}

Token Begin()
{
    Token token;
    token.m_active = true;
    g_active.fetch_add(1);
    return token;
}

int Active() { return g_active.load(); }

bool RefuseIfActive(const QString& text)
{
    if (Active() == 0)
        return false;
    ShowError(text);
    return true;
}

} // namespace ReaderRuns
