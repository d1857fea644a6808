#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The mails a check stored but may not yet have deleted on the server (or, when mail is left
// on the server, every mail stored while the server keeps it), by the server's unique id (UIDL)
// and announced size, so that a later check neither stores them twice nor leaves them there.
// Each line also names the mail's original, which is on the disk before the line is written,
// so that a check cut off before the mail's record was written can finish storing it. A small
// text file of our own in the data folder, one line per mail:
//     WanderpupUIDL 1                                   (the first line)
//     <account> <unique id> <size> [<original's name>]  (account: "id@host:port", percent-encoded)
// Lines of other accounts are kept as they are. The file is replaced whole through a temporary
// file and a rename, so it is always either the old or the new list.
class StoredMails
{
public:
    StoredMails(const QString &file, const QString &account);

    // Reads the file; a missing one is an empty list. False (and an empty list) when it cannot be
    // read.
    bool load();
    // Whether a mail with this id and size was stored. A size of -1 stands for "unknown".
    bool contains(const QByteArray &id, qint64 size) const;
    void add(const QByteArray &id, qint64 size, const QString &original = QString());
    // How many mails of this account the list holds.
    qsizetype count() const { return m_mine.size(); }
    // The originals named by this account's lines.
    QStringList originals() const;
    void remove(const QByteArray &id);
    // Forgets every mail whose id the server no longer lists: it was deleted, and a server may
    // give its id to another mail one day.
    void keepOnly(const QSet<QByteArray> &onServer);
    bool changed() const { return m_changed; }
    // Writes the list. False, with the reason in `problem`, when it cannot be written.
    bool save(QString *problem = nullptr);

private:
    QString m_file;
    QByteArray m_account; // percent-encoded
    struct Mine
    {
        qint64 size;
        QString original;
    };
    QHash<QByteArray, Mine> m_mine;
    QList<QByteArray> m_others; // lines of other accounts, as read
    bool m_changed = false;
};
