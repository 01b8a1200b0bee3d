#include "ConsoleStatus.h"

#include "state/StatusLine.h"

namespace {

constexpr qint64 IntervalMs = 1000;
const QLatin1String ArrivalPrefix("Log recieved on port ");

// The port as announced, or "" when the caption is no datagram announcement.
QString arrivalPort(const QString &caption)
{
    if (!caption.startsWith(ArrivalPrefix))
        return QString();
    const qsizetype end = caption.indexOf(QLatin1Char(' '), ArrivalPrefix.size());
    return caption.mid(ArrivalPrefix.size(), end < 0 ? -1 : end - ArrivalPrefix.size());
}

} // namespace

ConsoleStatus::ConsoleStatus(StatusLine &status, FILE *out, QObject *parent)
    : QObject(parent)
    , m_out(out)
{
    m_clock.start();
    m_timer.setInterval(IntervalMs / 4);
    connect(&m_timer, &QTimer::timeout, this, &ConsoleStatus::flushDue);
    connect(&status, &StatusLine::captionChanged, this, &ConsoleStatus::onCaption);
}

void ConsoleStatus::onCaption(const QString &caption)
{
    const QString port = arrivalPort(caption);
    if (port.isEmpty()) {
        m_out << caption << Qt::endl;
        return;
    }
    PortLines &lines = m_ports[port];
    if (lines.lastPrinted < 0 || m_clock.elapsed() - lines.lastPrinted >= IntervalMs) {
        printArrival(lines, caption);
        return;
    }
    lines.lastCaption = caption;
    ++lines.heldBack;
    if (!m_timer.isActive())
        m_timer.start();
}

void ConsoleStatus::printArrival(PortLines &lines, const QString &caption)
{
    m_out << caption;
    if (lines.heldBack > 0)
        m_out << " (" << lines.heldBack + 1 << " datagrams on this port since the previous line)";
    m_out << Qt::endl;
    lines.lastPrinted = m_clock.elapsed();
    lines.heldBack = 0;
    lines.lastCaption.clear();
}

void ConsoleStatus::flushDue()
{
    bool waiting = false;
    for (PortLines &lines : m_ports) {
        if (lines.heldBack == 0)
            continue;
        if (m_clock.elapsed() - lines.lastPrinted >= IntervalMs) {
            // The held-back caption itself counts once more in printArrival.
            --lines.heldBack;
            printArrival(lines, lines.lastCaption);
        } else {
            waiting = true;
        }
    }
    if (!waiting)
        m_timer.stop();
}

void ConsoleStatus::flush()
{
    for (PortLines &lines : m_ports) {
        if (lines.heldBack > 0) {
            --lines.heldBack;
            printArrival(lines, lines.lastCaption);
        }
    }
    m_timer.stop();
}
