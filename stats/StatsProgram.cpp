#include "StatsProgram.h"

#include "StatsHttpServer.h"
#include "StatsOptions.h"
#include "StatsServer.h"
#include "platform/StopSignals.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString addressText(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace

int runStats(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Result<StatsOptions> options = parseStatsOptions(app.arguments().mid(1));
    if (!options) {
        err() << "varnock_stats: " << options.error().description << "\n\n" << statsUsage();
        return 2;
    }
    if (options->help) {
        QTextStream(stdout) << statsUsage();
        return 0;
    }
    QStringList databases = options->databases;
    if (databases.isEmpty()) {
        const Result<QStringList> found = connectionsFileDatabases();
        if (!found) {
            err() << "varnock_stats: " << found.error().description << '\n';
            return 1;
        }
        databases = *found;
    }

    std::vector<std::unique_ptr<StatsSite>> sites;
    for (const QString &database : std::as_const(databases)) {
        Result<std::unique_ptr<StatsSite>> site = StatsSite::open(database, int(sites.size()));
        if (!site) {
            err() << "varnock_stats: cannot read the database " << site.error().description << '\n';
            continue;
        }
        sites.push_back(std::move(*site));
    }
    if (sites.empty()) {
        err() << "varnock_stats: no database can be read; nothing to serve.\n";
        return 1;
    }

    const QString where = addressText(options->address, options->port);
    StatsServer pages(std::move(sites));
    StatsHttpServer server(pages, HttpTuning{});
    if (const Status listening = server.listen(options->address, options->port); !listening) {
        err() << "varnock_stats: cannot listen on " << where << ": "
              << listening.error().description << '\n';
        return 1;
    }
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &app, &QCoreApplication::quit);
    QTextStream(stdout) << "varnock_stats: serving on http://" << where << "/\n" << Qt::flush;
    return app.exec();
}
