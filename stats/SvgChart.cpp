#include "SvgChart.h"

#include "Html.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Width = 640, Height = 220, Left = 44, Right = 12, Top = 12, Bottom = 28;

QString polyline(const QJsonArray &points, const QString &key, double low, double high,
                 const QString &cssClass)
{
    QStringList coordinates;
    const double span = std::max(high - low, 1e-9);
    for (qsizetype i = 0; i < points.size(); ++i) {
        const double x = points.size() == 1 ? Left + (Width - Left - Right) / 2
                                            : Left + (Width - Left - Right) * double(i) /
                                                         double(points.size() - 1);
        const double value = points.at(i).toObject().value(key).toDouble();
        const double y = Top + (Height - Top - Bottom) * (high - value) / span;
        coordinates << QStringLiteral("%1,%2").arg(x, 0, 'f', 1).arg(y, 0, 'f', 1);
    }
    QString marks = QStringLiteral("<polyline class=\"%1\" points=\"%2\"/>")
                        .arg(cssClass, coordinates.join(QLatin1Char(' ')));
    // Few games: each one as a dot too, so a single game still shows.
    if (points.size() <= 40) {
        for (const QString &point : std::as_const(coordinates))
            marks += QStringLiteral("<circle class=\"%1\" cx=\"%2\" cy=\"%3\" r=\"3\"/>")
                         .arg(cssClass, point.section(QLatin1Char(','), 0, 0),
                              point.section(QLatin1Char(','), 1, 1));
    }
    return marks;
}

QString label(double x, double y, const QString &anchor, const QString &text)
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\">%4</text>")
        .arg(x, 0, 'f', 1)
        .arg(y, 0, 'f', 1)
        .arg(anchor, escaped(text));
}

} // namespace

QString ratingChart(const QJsonArray &points)
{
    if (points.isEmpty())
        return QStringLiteral("<p class=\"empty\">No rated games yet.</p>");
    double low = INFINITY, high = -INFINITY;
    for (const QJsonValue &point : points) {
        for (const char *key : {"rating", "mu"}) {
            const double value = point.toObject().value(QLatin1String(key)).toDouble();
            low = std::min(low, value);
            high = std::max(high, value);
        }
    }
    low = std::floor(low) - 1;
    high = std::ceil(high) + 1;
    QString svg = QStringLiteral("<svg class=\"chart\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                                 "aria-label=\"Rating after each game\">")
                      .arg(Width)
                      .arg(Height);
    for (int step = 0; step <= 4; ++step) {
        const double y = Top + (Height - Top - Bottom) * step / 4.0;
        svg += QStringLiteral("<line class=\"grid\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>")
                   .arg(Left)
                   .arg(Width - Right)
                   .arg(y, 0, 'f', 1);
        svg += label(Left - 6, y + 4, QStringLiteral("end"),
                     QString::number(high - (high - low) * step / 4.0, 'f', 1));
    }
    svg += polyline(points, QStringLiteral("mu"), low, high, QStringLiteral("mu"));
    svg += polyline(points, QStringLiteral("rating"), low, high, QStringLiteral("rating"));
    const QString first = points.first().toObject().value(QLatin1String("date")).toString();
    const QString last = points.last().toObject().value(QLatin1String("date")).toString();
    svg += label(Left, Height - 8, QStringLiteral("start"), first.left(10));
    svg += label(Width - Right, Height - 8, QStringLiteral("end"), last.left(10));
    return svg + QStringLiteral("</svg>");
}

QString activityChart(const QJsonArray &points)
{
    if (points.isEmpty())
        return QStringLiteral("<p class=\"empty\">No games yet.</p>");
    qint64 most = 1;
    for (const QJsonValue &point : points)
        most = std::max(most, point.toObject().value(QLatin1String("games")).toInteger());
    QString svg = QStringLiteral("<svg class=\"chart\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                                 "aria-label=\"Games played over time\">")
                      .arg(Width)
                      .arg(Height);
    const double plot = Height - Top - Bottom;
    svg += QStringLiteral("<line class=\"grid\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\"/>")
               .arg(Left)
               .arg(Width - Right)
               .arg(Top + plot, 0, 'f', 1);
    svg += label(Left - 6, Top + 4, QStringLiteral("end"), QString::number(most));
    const double slot = (Width - Left - Right) / double(points.size());
    const double bar = std::clamp(slot * 0.8, 1.0, 24.0); // a few days are not a wall of blue
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QJsonObject point = points.at(i).toObject();
        const double height =
            plot * double(point.value(QLatin1String("games")).toInteger()) / double(most);
        svg += QStringLiteral("<rect class=\"bar\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\">"
                              "<title>%5: %6 games</title></rect>")
                   .arg(Left + slot * double(i) + (slot - bar) / 2, 0, 'f', 1)
                   .arg(Top + plot - height, 0, 'f', 1)
                   .arg(bar, 0, 'f', 1)
                   .arg(height, 0, 'f', 1)
                   .arg(escaped(point.value(QLatin1String("period")).toString()))
                   .arg(point.value(QLatin1String("games")).toInteger());
    }
    svg += label(Left, Height - 8, QStringLiteral("start"),
                 points.first().toObject().value(QLatin1String("period")).toString());
    svg += label(Width - Right, Height - 8, QStringLiteral("end"),
                 points.last().toObject().value(QLatin1String("period")).toString());
    return svg + QStringLiteral("</svg>");
}
