// The line between the console and the simulated controller, with the bench in the middle: the
// console opens one end of a pseudo-terminal, the controller sits behind another, and a thread of
// its own passes every byte across at once and notes when it passed. The console's thread does
// none of this work, so its CPU figures stay its own.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk::bench {

std::int64_t monotonicNs();

class WireTap {
public:
    WireTap() = default;
    ~WireTap();
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;

    // Creates the console's pseudo-terminal and opens the controller's terminal at `devicePath`,
    // then starts passing bytes. Returns false with `error` set when either end cannot be opened.
    bool start(const QString& devicePath, QString* error);
    void stop();

    // The device path the console opens as its serial port.
    QString consolePath() const { return m_consolePath; }

    struct Record {
        QByteArray bytes;
        std::vector<std::int64_t> arrivalNs; // one per byte
    };
    // What the console wrote and what the controller sent back, since the last clear().
    Record fromConsole() const;
    Record fromDevice() const;
    void clear();
    // While off, bytes are still passed on but not kept (for long runs that measure memory).
    void setRecording(bool on) { m_recording = on; }

private:
    void run();
    bool pass(int from, int to, Record& record);

    int m_consoleMaster = -1;
    int m_consoleSlave = -1; // held open so that the console's closing the port is no hang-up
    int m_device = -1;
    int m_wake[2] = {-1, -1};
    QString m_consolePath;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_recording{true};
    mutable std::mutex m_mutex;
    Record m_fromConsole;
    Record m_fromDevice;
};

} // namespace vesk::bench
