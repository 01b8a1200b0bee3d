#include "KernelDropNotes.h"

#include "LogNote.h"

#include "state/MainModule.h"
#include "state/TextFunctions.h"

#include <QTextStream>

namespace {

constexpr qint64 NotePeriodMs = 60'000;

} // namespace

KernelDropNotes::KernelDropNotes(MainModule &state)
    : m_state(state)
{
}

QString KernelDropNotes::statusText(quint16 port, int connection, quint64 drops)
{
    return QStringLiteral("The kernel dropped %1 datagrams on port %2 (connection %3) before the "
                          "program could read them: it fell behind, or the socket's receive "
                          "buffer is too small.")
        .arg(drops)
        .arg(port)
        .arg(connection);
}

QString KernelDropNotes::logPath(int index) const
{
    const int row = m_state.ListView1.find(ConnKey(index));
    return row < 0 ? QString() : m_state.ListView1.row(row).log;
}

void KernelDropNotes::dropped(int index, quint16 port, quint64 newDrops)
{
    m_state.Label1.setCaption(statusText(port, index, newDrops));
    // A port that keeps dropping must not fill its log: one note a minute at most.
    Notes &notes = m_notes[index];
    notes.unnoted += newDrops;
    if (notes.last.isValid() && notes.last.elapsed() < NotePeriodMs)
        return;
    appendLogNote(
        logPath(index),
        QStringLiteral("the kernel dropped %1 datagrams on port %2 before the program "
                       "could read them%3; the statistics miss what they held")
            .arg(notes.unnoted)
            .arg(port)
            .arg(notes.last.isValid() ? QStringLiteral(" since the last note") : QString()));
    notes.last.start();
    notes.unnoted = 0;
}

void KernelDropNotes::endOfRun()
{
    for (const int index : m_state.udpPeerB.indexes()) {
        const UdpSocketElement *element = m_state.udpPeerB.element(index);
        const quint64 drops = element ? element->kernelDrops() : 0;
        if (drops == 0)
            continue;
        const QString text = QStringLiteral("the kernel dropped %1 datagrams on port %2 "
                                            "(connection %3) in this run before the program "
                                            "could read them")
                                 .arg(drops)
                                 .arg(element->LocalPort())
                                 .arg(index);
        QTextStream(stderr) << "varnock_udp: " << text << '\n';
        appendLogNote(logPath(index), text);
    }
    m_notes.clear();
}
