#include "Html.h"

#include <QJsonArray>
#include <QUrl>

#include <cmath>

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString shown(const QJsonValue &value)
{
    if (value.isNull() || value.isUndefined())
        return QStringLiteral("–");
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (number == double(qint64(number)) && std::abs(number) < 1e15)
            return QString::number(qint64(number));
        return QString::number(number, 'f', 2);
    }
    return escaped(value.toVariant().toString());
}

QString duration(qint64 seconds)
{
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min")
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString href(const QString &path, const QList<std::pair<QString, QString>> &items)
{
    QStringList parts;
    for (const auto &[key, value] : items) {
        if (!value.isEmpty())
            parts << key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    return escaped(parts.isEmpty() ? path : path + QLatin1Char('?') + parts.join(QLatin1Char('&')));
}

QString anchor(const QString &url, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(url, text);
}

Column field(const QString &title, const QString &key, bool numeric)
{
    return {title, [key](const QJsonObject &row) { return shown(row.value(key)); }, numeric, {}};
}

QString table(const QList<Column> &columns, const QJsonArray &rows, const QString &empty)
{
    if (rows.isEmpty())
        return QStringLiteral("<p class=\"empty\">%1</p>").arg(escaped(empty));
    QString html = QStringLiteral("<div class=\"scroll\"><table><thead><tr>");
    for (const Column &column : columns) {
        const QString title = escaped(column.title);
        html += QStringLiteral("<th%1>%2</th>")
                    .arg(column.numeric ? QStringLiteral(" class=\"num\"") : QString(),
                         column.headingUrl.isEmpty() ? title : anchor(column.headingUrl, title));
    }
    html += QStringLiteral("</tr></thead><tbody>");
    for (const QJsonValue &value : rows) {
        html += QStringLiteral("<tr>");
        for (const Column &column : columns)
            html += QStringLiteral("<td%1>%2</td>")
                        .arg(column.numeric ? QStringLiteral(" class=\"num\"") : QString(),
                             column.cell(value.toObject()));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</tbody></table></div>");
}

QByteArray document(const QString &title, const QString &body, int db, const QString &current,
                    int refreshSeconds)
{
    const QString dbText = QString::number(db);
    QString nav;
    for (const auto &[path, label] :
         QList<std::pair<QString, QString>>{{QStringLiteral("/"), QStringLiteral("Rankings")},
                                            {QStringLiteral("/weapons"), QStringLiteral("Weapons")},
                                            {QStringLiteral("/maps"), QStringLiteral("Maps")},
                                            {QStringLiteral("/servers"), QStringLiteral("Servers")},
                                            {QStringLiteral("/games"), QStringLiteral("Games")},
                                            {QStringLiteral("/awards"), QStringLiteral("Awards")},
                                            {QStringLiteral("/live"), QStringLiteral("Live")}}) {
        nav +=
            QStringLiteral("<a href=\"%1\"%2>%3</a>")
                .arg(href(path, {{QStringLiteral("db"), dbText}}),
                     path == current ? QStringLiteral(" aria-current=\"page\"") : QString(), label);
    }
    const QString refresh =
        refreshSeconds > 0
            ? QStringLiteral("<meta http-equiv=\"refresh\" content=\"%1\">").arg(refreshSeconds)
            : QString();
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">%1"
               "<title>%2</title><link rel=\"stylesheet\" href=\"/style.css\">"
               "<link rel=\"icon\" href=\"/favicon.svg\" type=\"image/svg+xml\"></head><body>"
               "<header><a class=\"brand\" href=\"%3\">Statistics</a><nav>%4</nav></header>"
               "<main>%5</main><footer>Varnock_UDP statistics · <a href=\"%6\">JSON</a>"
               "</footer></body></html>\n")
        .arg(refresh, escaped(title), href(QStringLiteral("/"), {{QStringLiteral("db"), dbText}}),
             nav, body, href(QStringLiteral("/api"), {}))
        .toUtf8();
}
