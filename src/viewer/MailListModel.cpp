#include "MailListModel.h"

#include "platform/TextRules.h"
#include "store/HistoryFile.h"
#include "viewer/FullText.h"

namespace {

// Headings are read in blocks of rows, as a view asks for them a screenful at a time.
constexpr int kBlock = 64;

} // namespace

int MailListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headings.size() + m_rows.size());
}

int MailListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

const QByteArray &MailListModel::heading(int position) const
{
    if (m_headings[position].isEmpty()) {
        const int first = position - position % kBlock;
        const int last = qMin(int(m_headings.size()), first + kBlock);
        for (int i = first; i < last; ++i) {
            if (!m_headings[i].isEmpty())
                continue;
            const std::optional<HistoryRecord> r = History::ReadRecord(m_file, i + 1, History::Fields::Heading);
            // A record that has gone since the list was opened shows empty.
            m_headings[i] = r ? r->bytes() : QByteArray(HistoryRecord::HeadingSize, '\0');
        }
    }
    return m_headings[position];
}

QString MailListModel::text(int position, int column) const
{
    if (position < m_headings.size()) {
        const HistoryRecord record = HistoryRecord::fromBytes(heading(position));
        const QString stored = column == 0 ? record.Subject() : column == 1 ? record.Address() : record.Date();
        // A field that lost characters shows them again from the mail's original (read once a row).
        if (m_whole[position].isEmpty()) {
            const FullText::Shown whole = FullText::shown(m_fileHistory, position + 1, record);
            m_whole[position] = {whole.subject, whole.address, whole.date};
        }
        const QString &shown = m_whole[position][column];
        return TextRules::trimSpaces(stored) == shown ? stored : shown;
    }
    const Row &r = m_rows.at(position - m_headings.size());
    return column == 0 ? r.subject : column == 1 ? r.address : r.date;
}

qint16 MailListModel::history(int position) const
{
    return position < m_headings.size() ? m_fileHistory : m_rows.at(position - m_headings.size()).history;
}

int MailListModel::record(int position) const
{
    return position < m_headings.size() ? position + 1 : m_rows.at(position - m_headings.size()).record;
}

QVariant MailListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() > 2)
        return QVariant();
    if (role == Qt::DisplayRole)
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
    m_file.clear();
    m_fileHistory = 0;
    m_headings.clear();
    m_whole.clear();
    m_rows.clear();
    endResetModel();
}

void MailListModel::showFile(const QString &file, qint16 history, int count)
{
    beginResetModel();
    m_file = file;
    m_fileHistory = history;
    m_headings = QList<QByteArray>(qMax(count, 0));
    m_whole = QList<QStringList>(qMax(count, 0));
    m_rows.clear();
    endResetModel();
}

void MailListModel::appendRow(const QString &subject, const QString &address, const QString &date,
                              qint16 history, int record)
{
    const int position = rowCount();
    beginInsertRows(QModelIndex(), position, position);
    m_rows.append({subject, address, date, history, record});
    endInsertRows();
}
