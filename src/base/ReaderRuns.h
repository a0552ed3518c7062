#pragma once
// Which reader runs (event reading, writing all data) are under way in this program. Their
// workers use the record store handler until their very end, while the window stays usable
// around a modeless progress window; maintenance that replaces or empties the database
// (backup, restore, clearing, CSV import, deleting readers) asks here first and is refused
// while a run is active, so the handler is never destroyed or emptied under a worker.
//
//     ReaderRuns::Token token = ReaderRuns::Begin();   // on the starting thread, before the worker
//     std::thread(worker, std::move(token)).detach();  // the worker lets it go when it ends
//
//     if (ReaderRuns::RefuseIfActive(text))            // a maintenance command
//         return 0;
#include <QString>

namespace ReaderRuns {

// Counts one active run while it lives; moved into the worker, released when the worker ends.
class Token {
public:
    Token() = default;
    Token(Token&& other) noexcept : m_active(other.m_active) { other.m_active = false; }
    Token& operator=(Token&& other) noexcept;
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    ~Token() { Release(); }
    void Release();

private:
    friend Token Begin();
    bool m_active = false;
};

Token Begin();
int Active();   // runs active now (any thread)

// When a run is active: shows text (error icon) and returns true.
bool RefuseIfActive(const QString& text);

} // namespace ReaderRuns
