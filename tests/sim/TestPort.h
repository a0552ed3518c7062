#pragma once
// The test side of the serial line: a few lines of termios of our own, so that the simulator's
// tests depend on nothing of the program's link code.
#include <string>

class TestPort {
public:
    ~TestPort() { Close(); }
    // Opens the device raw, 8N1, at the given rate.
    bool Open(const std::string& path, unsigned rate);
    void Close();
    void Write(const std::string& bytes);
    // Collects bytes until `count` have come or timeoutMs passed.
    std::string ReadBytes(std::size_t count, int timeoutMs = 2000);
    // Collects bytes until an EOT that follows an STX, or timeoutMs; returns them all.
    std::string ReadFrame(int timeoutMs = 2000);

private:
    int m_fd = -1;
};

// Addressed telegram with the test's own checksum: STX "FF" command data checksum EOT.
std::string TestAddressed(char command, const std::string& data);
