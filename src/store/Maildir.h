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
//
// Lines end in LF in the files, as delivery agents write them and mail readers expect; a mail
// comes back with CR LF (read()), byte for byte as it travelled. Such a file says so in its name
// with the size the mail has with CR LF, ",W=<size>" after ",S=<file size>", as Dovecot names
// them. A mail that would not come back exactly (a LF without a CR before it) is kept as it is,
// without ",W=", like the files of earlier copies of the program.
class Maildir
{
public:
    explicit Maildir(const QString &root);

    const QString &root() const { return m_root; }

    // The longest name newName() gives (the index of originals has room for no more).
    static constexpr int MaxNameLength = 69;

    // Creates the folder and its tmp/, new/ and cur/ (only for the owner) where missing, and
    // makes sure each is on the disk in its parent.
    bool ensure(QString *problem);

    // A mail written into tmp/ and forced to the disk, not yet part of the folder.
    struct Pending
    {
        QString temporary; // full path in tmp/
        QString name;      // its name once delivered
    };
    // A new name for `mail` (CR LF lines, as sent); names taken one after the other sort in that
    // order. It says how the mail is kept.
    static QString newName(const QByteArray &mail);
    // Writes `mail` under `name` (newName(mail) when empty), with LF line ends when the name
    // says so. On failure (full disk, say) no file is left and `problem` says why in words for
    // the user. Safe to call from several threads at once.
    std::optional<Pending> write(const QByteArray &mail, QString *problem, const QString &name = QString()) const;
    // Renames the mail into cur/. Becomes durable with the next syncDelivered().
    bool deliver(const Pending &mail, QString *problem) const;
    // Forces the deliveries made so far to the disk (the folder entry of each rename).
    bool syncDelivered(QString *problem) const;

    // The full path of mail `name` in cur/ or new/, whatever flags it has been given; empty
    // when it is not there.
    QString find(const QString &name) const;
    // Removes mail `name` and forces the removal to the disk. True when it is gone for good.
    bool remove(const QString &name) const;
    // The mail in file `path` of the folder as it travelled: its lines end in CR LF again when
    // the file's name says they were kept with LF. Nothing when the file cannot be read.
    static std::optional<QByteArray> read(const QString &path);
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
