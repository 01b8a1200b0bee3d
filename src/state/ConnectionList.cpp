#include "ConnectionList.h"

#include <algorithm>
#include <numeric>

int ConnectionList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int ConnectionList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ConnectionList::columnText(const ConnectionRow &row, int column)
{
    switch (column) {
    case PortColumn:
        return row.text;
    case DatabaseColumn:
        return row.database;
    case LogonColumn:
        return row.logon;
    case LogColumn:
        return row.log;
    default:
        return QString();
    }
}

QVariant ConnectionList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return columnText(m_rows.at(index.row()), index.column());
}

QVariant ConnectionList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const headers[ColumnCount] = {"Port", "Database", "Logon", "Log"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(headers[section])
                                                 : QVariant();
}

int ConnectionList::find(const QString &key) const
{
    for (int i = 0; i < count(); ++i) {
        if (m_rows.at(i).key == key)
            return i;
    }
    return -1;
}

int ConnectionList::add(const ConnectionRow &row)
{
    const int position = count();
    beginInsertRows({}, position, position);
    m_rows.append(row);
    endInsertRows();
    return position;
}

bool ConnectionList::remove(const QString &key)
{
    const int position = find(key);
    if (position < 0)
        return false;
    beginRemoveRows({}, position, position);
    m_rows.removeAt(position);
    endRemoveRows();
    return true;
}

void ConnectionList::setText(int position, const QString &text)
{
    m_rows[position].text = text;
    emit dataChanged(index(position, PortColumn), index(position, PortColumn));
}

void ConnectionList::setSubItem(int position, int subItem, const QString &text)
{
    ConnectionRow &row = m_rows[position];
    QString *field = subItem == 1 ? &row.database : subItem == 2 ? &row.logon : &row.log;
    *field = text;
    emit dataChanged(index(position, subItem), index(position, subItem));
}

void ConnectionList::sortBy(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> order_(count());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        const int c = QString::compare(columnText(m_rows.at(a), column),
                                       columnText(m_rows.at(b), column), Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    QList<ConnectionRow> sorted;
    sorted.reserve(count());
    QList<int> newPosition(count());
    for (int i = 0; i < order_.size(); ++i) {
        sorted.append(m_rows.at(order_.at(i)));
        newPosition[order_.at(i)] = i;
    }
    m_rows = std::move(sorted);
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex &old : persistent)
        changePersistentIndex(old, index(newPosition.at(old.row()), old.column()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
