#pragma once

#include <QElapsedTimer>
#include <QString>

#include <map>

class MainModule;

// Says that the kernel dropped datagrams on a port before the program could read them, so
// statistics that are short are known to be: in the status line whenever reads tell of new
// drops, in the connection's log file at once and then at most once a minute per port with
// the number since the last note, and at the end of the run.
class KernelDropNotes
{
public:
    explicit KernelDropNotes(MainModule &state);

    void dropped(int index, quint16 port, quint64 newDrops);
    // Before the ports close: every port's drops in this run, on standard error and in its log.
    void endOfRun();

    static QString statusText(quint16 port, int connection, quint64 drops);

private:
    QString logPath(int index) const;

    MainModule &m_state;
    struct Notes
    {
        QElapsedTimer last;
        quint64 unnoted = 0;
    };
    std::map<int, Notes> m_notes;
};
