#pragma once

#include "store/HistoryFile.h"
#include "store/Maildir.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The mails of a history as they were received or sent, byte for byte, kept in a Maildir beside
// the history: ★MailData/Received for the received history, ★MailData/Sent for the sent one.
//
// Which original belongs to which record is said by an index of our own beside the history file
// (ppdata2-originals.data, ppdata5-originals.data): fixed entries of 90 bytes, entry k for record
// k, deleted and compacted along with the history. An entry holds the original's name (blank
// for a record without one, such as those of a history from before originals were kept), a
// fingerprint of its record's heading, CR LF and a live flag:
//     name (69 bytes, space-filled) ' ' fingerprint (16 hex digits) CR LF live (2 bytes)
// The fingerprint lets a history that changed without its index (a crash between the two files,
// an older copy of the program) be paired up again instead of being misread.
class Originals
{
public:
    enum class Kind { Received, Sent };

    // The history's own files in the program folder.
    explicit Originals(Kind kind);
    Originals(const QString &historyFile, const QString &indexFile, const QString &maildir);

    static constexpr int EntrySize = 90;
    static constexpr int NameWidth = 69;

    static quint64 fingerprint(const QByteArray &heading);

    Maildir &maildir() { return m_maildir; }
    const QString &indexFile() const { return m_index; }
    int entryCount() const;

    struct Entry
    {
        QString name; // empty: the record has no original
        quint64 fingerprint = 0;
    };
    QList<Entry> entries() const;

    // The path of record n's original, empty when it has none. `heading` is the record's (its
    // first HistoryRecord::HeadingSize bytes): an index that does not match it is paired with
    // the history again first.
    QString pathOf(int n, const QByteArray &heading);

    // Adds the entries of records `first`, `first` + 1, … which are about to be appended (or
    // have just been) to the history, after blank entries for records before them that have
    // none, and forces them to the disk. False, with `problem`, when they cannot be written.
    struct Link
    {
        QString name;
        QByteArray heading;
    };
    bool link(int first, const QList<Link> &links, QString *problem);

    // Record n has been written for an entry that was waiting for it (see reconcile): the
    // entry takes the record's heading.
    bool setHeading(int n, const QByteArray &heading);

    // Deleting record n (or all): the originals go first, so that a crash part way can never
    // bring a deleted mail back; then the caller deletes from the history; then dropEntry.
    void removeOriginal(int n, const QByteArray &heading);
    void removeAllOriginals();
    bool dropEntry(int n, QString *problem);
    // Drops the entries of record `first` and after (records that could not be stored).
    bool dropEntriesFrom(int first, QString *problem);
    bool dropAllEntries(QString *problem);

    // Pairs index and history up again by the fingerprints where they disagree: entries of
    // records that are gone are dropped (with their originals), records without an entry get a
    // blank one. Returns the names of the entries beyond the history's last record whose
    // original is still there (mails whose record a crash lost), in order; they stay in the
    // index for the caller to store.
    QStringList reconcile();

private:
    QList<quint64> headingFingerprints(int count) const;
    bool writeEntries(const QList<Entry> &entries, QString *problem);

    QString m_history;
    QString m_index;
    Maildir m_maildir;
};
