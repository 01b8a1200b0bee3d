#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

// Small pieces every page is built from. Every text from a database (names are chosen by
// players) goes through escaped(); nothing else puts text into markup.

QString escaped(const QString &text);
// A JSON value as a cell text: integers as they are, other numbers to two decimals, null as "–".
QString shown(const QJsonValue &value);
// Seconds as "3 h 05 min" / "12 min".
QString duration(qint64 seconds);
// An escaped href to path with the query items.
QString href(const QString &path, const QList<std::pair<QString, QString>> &items);
QString anchor(const QString &url, const QString &text);

// One column of a table: its heading and how a row's cell is written (already markup).
struct Column
{
    QString title;
    std::function<QString(const QJsonObject &)> cell;
    bool numeric = false;
    QString headingUrl; // a sortable column's link
};
// A column showing one key of the row, escaped.
Column field(const QString &title, const QString &key, bool numeric = true);
QString table(const QList<Column> &columns, const QJsonArray &rows, const QString &empty);

// The whole document around a page's body: head, the site's navigation for database `db`
// and the footer. refreshSeconds > 0 reloads the page by itself.
QByteArray document(const QString &title, const QString &body, int db, const QString &current,
                    int refreshSeconds = 0);
