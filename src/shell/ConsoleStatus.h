#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTextStream>
#include <QTimer>

class StatusLine;

// The status line of a service: every change goes to standard output, except that datagram
// announcements are summarised to at most one line a second per port, so a busy server does
// not flood the journal.
class ConsoleStatus : public QObject
{
    Q_OBJECT

public:
    ConsoleStatus(StatusLine &status, FILE *out, QObject *parent = nullptr);

    // Writes what is still held back (at the end of the run).
    void flush();

private:
    struct PortLines
    {
        qint64 lastPrinted = -1; // ms on m_clock
        QString lastCaption;
        quint64 heldBack = 0;
    };

    void onCaption(const QString &caption);
    void printArrival(PortLines &lines, const QString &caption);
    void flushDue();

    QTextStream m_out;
    QElapsedTimer m_clock;
    QHash<QString, PortLines> m_ports;
    QTimer m_timer;
};
