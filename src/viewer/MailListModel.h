#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The rows of the history window's mail list: subject, address and date of one record each.
// A list opened on a history file knows only how many records it shows and reads their headings
// when the rows come into view, so that a history of 32767 records (1 GB) lists at once and is
// never held in memory. Rows the mail check adds carry their texts.
class MailListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void clear();
    // Records 1 .. count of `file` (history 1 received, 2 sent).
    void showFile(const QString &file, qint16 history, int count);
    // A row for record `record` of history `history`, with its texts.
    void appendRow(const QString &subject, const QString &address, const QString &date, qint16 history,
                   int record);

    // Where the mail of a row is stored.
    qint16 history(int position) const;
    int record(int position) const;

    // Column texts of a row: the fields up to their first NUL, fill spaces included.
    QString text(int position, int column) const;

private:
    struct Row
    {
        QString subject, address, date;
        qint16 history = 0;
        int record = 0;
    };
    const QByteArray &heading(int position) const;

    // The file the list was opened on, and the headings read so far (empty = not yet read).
    QString m_file;
    qint16 m_fileHistory = 0;
    mutable QList<QByteArray> m_headings;
    mutable QList<QStringList> m_whole; // the texts shown, once worked out

    // Rows added one by one.
    QList<Row> m_rows;
};
