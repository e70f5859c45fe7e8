// A pseudo-terminal pair for tests: the console opens the slave path as its serial port; the test
// holds the master, sees every byte written with its arrival time, and answers at line speed.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

struct Received {
    QByteArray bytes;
    qint64 atMs; // arrival of the first byte, on the pair's clock
};

class PtyPair : public QObject {
    Q_OBJECT
public:
    PtyPair();
    ~PtyPair() override;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    qint64 now() const { return m_clock.elapsed(); }

    // Everything the console wrote so far, cut into frames (6 + byte 4 long each).
    QList<Received> frames() const;
    QByteArray allBytes() const { return m_stream; }
    void clear();
    // Waits (processing events) until at least `count` frames arrived or `timeoutMs` passed.
    bool waitForFrames(int count, int timeoutMs);

    // Writes all bytes at once, or one byte every ~1.04 ms like a 9600-baud line.
    void writeNow(const QByteArray& bytes);
    void writeAtLineSpeed(const QByteArray& bytes);
    // Writes every byte as fast as the other side takes them, waiting (without processing events)
    // while the line is full. False when the line closed or `timeoutMs` passed first.
    bool writeAll(const QByteArray& bytes, int timeoutMs);
    // Bytes written to the line that the console has not read yet.
    qsizetype unreadByConsole() const;

    // Closes the master side: to the console this looks like an unplugged adapter.
    void hangUp();

signals:
    // The console wrote something.
    void bytesArrived();

private:
    void readMaster();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier* m_notifier = nullptr;
    QElapsedTimer m_clock;
    QByteArray m_stream;
    QList<qint64> m_arrival; // arrival time of each byte of m_stream
};
