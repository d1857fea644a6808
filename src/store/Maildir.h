#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// A mail folder in the layout every mail program reads: one file per mail, written into tmp/,
// forced to the disk and renamed into cur/. The rename is what makes a mail part of the folder;
// a file left in tmp/ by a crash is garbage.
//
// Our files are named "<seconds>.M<microseconds>P<pid>Q<n>.<host>,S=<size>:2,S" (seen). A mail
// is known by the part before ":2," (its name), so that flags a mail reader sets later do not
// lose it. Nothing from the network ever goes into a name.
class Maildir
{
public:
    explicit Maildir(const QString &root);

    const QString &root() const { return m_root; }

    // Creates the folder and its tmp/, new/ and cur/ (only for the owner) where missing.
    bool ensure(QString *problem);

    // A mail written into tmp/ and forced to the disk, not yet part of the folder.
    struct Pending
    {
        QString temporary; // full path in tmp/
        QString name;      // its name once delivered
    };
    // A new name for a mail of `size` bytes; names taken one after the other sort in that order.
    static QString newName(qint64 size);
    // Writes `bytes` as they are, under `name` (a new one when empty). On failure (full disk,
    // say) no file is left and `problem` says why in words for the user. Safe to call from
    // several threads at once.
    std::optional<Pending> write(const QByteArray &bytes, QString *problem, const QString &name = QString()) const;
    // Renames the mail into cur/. Becomes durable with the next syncDelivered().
    bool deliver(const Pending &mail, QString *problem) const;
    // Forces the deliveries made so far to the disk (the folder entry of each rename).
    bool syncDelivered(QString *problem) const;

    // The full path of mail `name` in cur/ or new/, whatever flags it has been given; empty
    // when it is not there.
    QString find(const QString &name) const;
    // Removes mail `name` and forces the removal to the disk. True when it is gone.
    bool remove(const QString &name) const;
    // Removes what a crash left in tmp/.
    void discardTemporary() const;
    // The names of our mails in cur/ and new/ modified at `since` or later (all of them for an
    // invalid time).
    QStringList namesSince(const QDateTime &since = QDateTime()) const;

    // The name of a file in cur/ or new/ (without its flags), empty when it is not one of ours.
    static QString nameOf(const QString &fileName);

private:
    QString m_root;
};
