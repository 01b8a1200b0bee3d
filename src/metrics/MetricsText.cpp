#include "MetricsText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>

namespace {

class Exposition
{
public:
    void family(const char *name, const char *type, const char *help)
    {
        m_text +=
            QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const QByteArray &name, const QByteArray &labels, const QByteArray &value)
    {
        m_text += name;
        if (!labels.isEmpty())
            m_text += '{' + labels + '}';
        m_text += ' ' + value + '\n';
    }
    void sample(const QByteArray &name, const QByteArray &labels, quint64 value)
    {
        sample(name, labels, QByteArray::number(value));
    }
    QByteArray take() { return std::move(m_text); }

private:
    QByteArray m_text;
};

QByteArray portLabels(const PortFigures &port, const QByteArray &more = {})
{
    QByteArray labels = "port=\"" + QByteArray::number(port.port) + "\",connection=\"" +
                        QByteArray::number(port.connection) + '"';
    if (!more.isEmpty())
        labels += ',' + more;
    return labels;
}

// The per-port series, family by family; a series without help text belongs to the family
// above it, with another reason.
struct PortSeries
{
    const char *name;
    const char *help;
    const char *reason;
    quint64 PortFigures::*value;
};

constexpr PortSeries Series[] = {
    {"varnock_datagrams_received_total", "Datagrams read from the port's socket.", nullptr,
     &PortFigures::datagramsReceived},
    {"varnock_datagrams_handed_over_total",
     "Datagrams handed over to the scoring component and taken by it.", nullptr,
     &PortFigures::datagramsHandedOver},
    {"varnock_datagrams_refused_total",
     "Datagrams read but not taken: memory_full (the program's datagram memory was full), "
     "sender (the component does not take the sender), failed (the hand-over failed).",
     "memory_full", &PortFigures::datagramsRefusedMemoryFull},
    {"varnock_datagrams_refused_total", nullptr, "sender", &PortFigures::datagramsRefusedSender},
    {"varnock_datagrams_refused_total", nullptr, "failed", &PortFigures::datagramsNotHandedOver},
    {"varnock_kernel_dropped_datagrams_total",
     "Datagrams the kernel dropped on the port before the program could read them.", nullptr,
     &PortFigures::kernelDrops},
    {"varnock_http_lines_received_total", "Log lines received in HTTP posts on the port.", nullptr,
     &PortFigures::linesReceived},
    {"varnock_http_lines_handed_over_total",
     "Log lines of HTTP posts handed over to the scoring component and taken by it.", nullptr,
     &PortFigures::linesHandedOver},
    {"varnock_http_lines_refused_total",
     "Log lines of HTTP posts the scoring component did not take, or that failed.", nullptr,
     &PortFigures::linesNotHandedOver},
};

void portCounters(Exposition &out, const MetricsSnapshot &snapshot)
{
    const std::size_t count = std::size(Series);
    for (std::size_t first = 0; first < count;) {
        std::size_t end = first + 1;
        while (end < count && !Series[end].help)
            ++end;
        out.family(Series[first].name, "counter", Series[first].help);
        for (const PortFigures &port : snapshot.ports) {
            for (std::size_t i = first; i < end; ++i) {
                const QByteArray reason = Series[i].reason
                                              ? QByteArray("reason=\"") + Series[i].reason + '"'
                                              : QByteArray();
                out.sample(Series[i].name, portLabels(port, reason), port.*Series[i].value);
            }
        }
        first = end;
    }
}

void componentFigures(Exposition &out, const ScoringFigures &f)
{
    out.family("varnock_lines_total", "counter",
               "Log lines the scoring component read, by outcome.");
    const std::pair<const char *, quint64> outcomes[] = {{"understood", f.linesUnderstood},
                                                         {"ignored", f.linesIgnored},
                                                         {"rejected", f.linesRejected},
                                                         {"ambiguous", f.linesAmbiguous}};
    for (const auto &[outcome, count] : outcomes)
        out.sample("varnock_lines_total", QByteArray("outcome=\"") + outcome + '"', count);

    out.family("varnock_rows_waiting", "gauge", "Statistics rows not yet committed.");
    out.sample("varnock_rows_waiting", {}, f.rowsWaiting);
    out.family("varnock_transactions_kept_total", "counter",
               "Transactions that could not be committed and were kept to be written again.");
    out.sample("varnock_transactions_kept_total", {}, f.transactionsKept);
    out.family("varnock_names_cached", "gauge", "Player names kept in memory.");
    out.sample("varnock_names_cached", {}, f.namesCached);
    out.family("varnock_databases", "gauge", "Databases the scoring component writes to.");
    out.sample("varnock_databases", {}, f.databases);
    out.family("varnock_databases_answering", "gauge",
               "Databases open and taking their last transaction.");
    out.sample("varnock_databases_answering", {}, f.databasesAnswering);

    out.family("varnock_commit_duration_seconds", "histogram",
               "How long committing a transaction took.");
    static constexpr double Bounds[] = SC_COMMIT_BUCKET_BOUNDS;
    quint64 cumulative = 0;
    for (std::size_t i = 0; i <= std::size(Bounds); ++i) {
        cumulative += f.commitBuckets[i];
        const QByteArray le =
            i < std::size(Bounds) ? QByteArray::number(Bounds[i], 'g', 6) : QByteArray("+Inf");
        out.sample("varnock_commit_duration_seconds_bucket", "le=\"" + le + '"', cumulative);
    }
    out.sample("varnock_commit_duration_seconds_sum", {},
               QByteArray::number(f.commitSeconds, 'g', 17));
    out.sample("varnock_commit_duration_seconds_count", {}, f.commits);
}

} // namespace

QByteArray metricsText(const MetricsSnapshot &snapshot)
{
    Exposition out;
    portCounters(out, snapshot);
    out.family("varnock_ports_listening", "gauge", "Ports bound and receiving datagrams.");
    out.sample("varnock_ports_listening", {}, quint64(snapshot.ports.size()));
    out.family("varnock_component_loaded", "gauge",
               "1 when the scoring component's library is loaded.");
    out.sample("varnock_component_loaded", {}, snapshot.component.loaded ? 1 : 0);
    if (snapshot.component.figures)
        componentFigures(out, *snapshot.component.figures);
    return out.take();
}

HealthReport healthOf(const MetricsSnapshot &snapshot)
{
    QJsonArray ports;
    for (const PortFigures &port : snapshot.ports)
        ports.append(int(port.port));
    QJsonArray problems;
    if (snapshot.ports.empty())
        problems.append(QStringLiteral("no port is listening"));
    if (!snapshot.component.loaded)
        problems.append(QStringLiteral("the scoring component is not loaded"));
    QJsonObject body{{QStringLiteral("listening"), ports},
                     {QStringLiteral("component_loaded"), snapshot.component.loaded}};
    if (const auto &figures = snapshot.component.figures) {
        body.insert(QStringLiteral("databases"), qint64(figures->databases));
        body.insert(QStringLiteral("databases_answering"), qint64(figures->databasesAnswering));
        body.insert(QStringLiteral("rows_waiting"), qint64(figures->rowsWaiting));
        if (figures->databasesAnswering < figures->databases)
            problems.append(QStringLiteral("%1 of %2 databases do not answer")
                                .arg(figures->databases - figures->databasesAnswering)
                                .arg(figures->databases));
    }
    body.insert(QStringLiteral("status"),
                problems.isEmpty() ? QStringLiteral("ok") : QStringLiteral("failing"));
    body.insert(QStringLiteral("problems"), problems);
    return {problems.isEmpty() ? 200 : 503, QJsonDocument(body).toJson(QJsonDocument::Compact)};
}
