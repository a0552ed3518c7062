#pragma once
// A thin serial port over the operating system's own calls. One open port is shared by
// several threads through a shared_ptr: every thread may read one byte at a time with the
// configured time-out, and the device is released only when the last holder lets go, so a
// read in flight never touches a closed or reused handle. Close() wakes such reads at once.
// The POSIX version lives in SerialPort_posix.cpp; a Win32 version can sit beside it.
#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <memory>

class CSerialPort {
public:
    struct Timeouts {
        uint32_t readInterval = 0;
        uint32_t readTotalMultiplier = 0;
        uint32_t readTotalConstant = 100;
        uint32_t writeTotalMultiplier = 10;
        uint32_t writeTotalConstant = 10;
    };

    // Opens the device for reading and writing, for this holder alone; nullptr when it can't
    // be opened, with the reason in *error (EBUSY: someone else holds it; a port of ours that
    // was closed counts until the last thread using it lets go).
    static std::shared_ptr<CSerialPort> Open(const QByteArray& devicePath, int* error = nullptr);
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Raw 8N1, no flow control, DTR and RTS on. speedMode 1: 57200 bit/s (the nearest standard
    // rate where the driver refuses it), 2: 9600 bit/s, other: keep the rate. false on failure.
    bool Configure(uint8_t speedMode);
    // Rate the driver reports for output, in bit/s (0 when unknown).
    uint32_t Baud() const;
    // Data bits, parity, stop bits and flow control as the driver reports them, for checks.
    struct LineSettings {
        int dataBits = 0;
        bool parity = false;
        bool twoStopBits = false;
        bool hardwareFlow = false;
        bool softwareFlow = false;
        bool raw = false;
    };
    LineSettings Line() const;

    void SetTimeouts(const Timeouts& t);
    // One byte: 1 read, 0 time-out (the read total time-out), -1 failure or port closed.
    int ReadByte(uint8_t& byte);
    // Writes the whole buffer within the write time-out; false on failure.
    bool Write(const QByteArray& data);
    void PurgeReceive();       // discard what has been received
    void Purge();              // discard both directions
    void DropDtr();
    // Makes every read and write fail from now on and wakes the reads that wait; the
    // device itself is released by the destructor.
    void Close();
    bool IsClosed() const { return m_closed.load(); }

private:
    CSerialPort() = default;
    int m_fd = -1;
    int m_wake[2] = {-1, -1};        // written by Close() to wake waiting reads
    bool m_isTerminal = false;       // a pseudo-terminal: modem lines are not there
    std::atomic<bool> m_closed{false};
    std::atomic<uint32_t> m_readMultiplier{0};
    std::atomic<uint32_t> m_readConstant{100};
    std::atomic<uint32_t> m_writeMultiplier{10};
    std::atomic<uint32_t> m_writeConstant{10};
};
