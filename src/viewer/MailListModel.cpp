#include "MailListModel.h"

#include "store/HistoryFile.h"

int MailListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MailListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QString MailListModel::text(int position, int column) const
{
    const Row &r = m_rows.at(position);
    if (r.heading.isEmpty())
        return column == 0 ? r.subject : column == 1 ? r.address : r.date;
    const HistoryRecord record = HistoryRecord::fromBytes(r.heading);
    return column == 0 ? record.Subject() : column == 1 ? record.Address() : record.Date();
}

QVariant MailListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() > 2)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    return QVariant();
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0: return QStringLiteral("Subject");
    case 1: return QStringLiteral("From");
    case 2: return QStringLiteral("Date");
    default: return QVariant();
    }
}

void MailListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void MailListModel::setRows(QList<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void MailListModel::appendRow(Row row)
{
    const int position = int(m_rows.size());
    beginInsertRows(QModelIndex(), position, position);
    m_rows.append(std::move(row));
    endInsertRows();
}
