#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QString>

// The rows of the history window's mail list: subject, address and date of one record each.
// Rows read from a history file keep the raw heading bytes and are decoded only when shown, so
// that a history of 32767 records lists at once.
class MailListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Row
    {
        QByteArray heading;              // the record's first bytes, or empty when texts are set
        QString subject, address, date;  // used when heading is empty
        qint16 history = 0;              // 1 received, 2 sent
        int record = 0;                  // record number in that history
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void clear();
    void setRows(QList<Row> rows);
    void appendRow(Row row);
    const Row &row(int position) const { return m_rows.at(position); }

    // Column texts of a row: the fields up to their first NUL, fill spaces included.
    QString text(int position, int column) const;

private:
    QList<Row> m_rows;
};
