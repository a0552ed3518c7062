#pragma once
// A reader operation's turn on the port: while it lasts the monitor worker keeps off (ready
// flag cleared, busy flag set) and the operation calls SendTelegram directly. Ending the turn
// empties the outgoing telegram and hands the port back, so the monitor polls again.
#include "link/CSerialLink.h"

#include <chrono>
#include <thread>

class LinkTurn {
public:
    // The monitor may be in the middle of a poll when the flags change; its reply is on the
    // wire for a few milliseconds at most. Waiting this long keeps it out of the first exchange.
    static constexpr int kSettleMs = 40;

    explicit LinkTurn(CSerialLink& link) : m_link(link)
    {
        Hold();
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    }
    ~LinkTurn() { Release(); }
    LinkTurn(const LinkTurn&) = delete;
    LinkTurn& operator=(const LinkTurn&) = delete;

    // Raised again before every telegram, as every reader operation does.
    void Hold()
    {
        m_link.m_nReady = 0;
        m_link.m_bBusy = 1;
    }
    void Release()
    {
        if (m_released)
            return;
        m_released = true;
        m_link.ClearOutgoing();
        m_link.m_nReady = 1;
        m_link.m_bBusy = 0;
    }

private:
    CSerialLink& m_link;
    bool m_released = false;
};
