#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// One row of the connection list: the key "con"N, the port as text and three sub-items.
struct ConnectionRow
{
    QString key;
    QString text;     // column "Port"
    QString database; // sub-item 1: display text of the connection string
    QString logon;    // sub-item 2: "True" or "False" (any text is kept)
    QString log;      // sub-item 3: log file path
};

// The rows of the connection list in list order. A row's position is not its identity:
// everything that works on a row finds it by key.
class ConnectionList : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { PortColumn, DatabaseColumn, LogonColumn, LogColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int count() const { return int(m_rows.size()); }
    const ConnectionRow &row(int position) const { return m_rows.at(position); }
    const QList<ConnectionRow> &rows() const { return m_rows; }
    // The row's position, or -1 when no row has the key.
    int find(const QString &key) const;

    // Appends at the end, never sorted in; returns the new row's position.
    int add(const ConnectionRow &row);
    bool remove(const QString &key);
    void setText(int position, const QString &text);
    // Sub-items 1 to 3 (database, logon, log).
    void setSubItem(int position, int subItem, const QString &text);

    // Column texts compared as text; equal texts keep their order.
    void sortBy(int column, Qt::SortOrder order);

    static QString columnText(const ConnectionRow &row, int column);

private:
    QList<ConnectionRow> m_rows;
};
