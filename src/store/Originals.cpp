#include "Originals.h"

#include "RecordFile.h"
#include "platform/FileError.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

constexpr int kLiveOffset = Originals::EntrySize - 2;

const RecordFile::Layout &indexLayout()
{
    static const RecordFile::Layout layout{
        Originals::EntrySize,
        kLiveOffset,
        {QStringLiteral("データフォルダ（★MailData）が見つかりません。"),
         QStringLiteral("メールの原本の一覧に書き込めません。ディスクの空き容量を確認して下さい。"),
         QStringLiteral("メールの原本の一覧がいっぱいです。"), QStringLiteral("指定されたメールの原本はありません。")},
    };
    return layout;
}

QByteArray entryBytes(const Originals::Entry &entry)
{
    QByteArray bytes = entry.name.toLatin1().left(Originals::NameWidth);
    bytes += QByteArray(Originals::NameWidth - bytes.size(), ' ');
    bytes += ' ';
    bytes += QByteArray::number(entry.fingerprint, 16).rightJustified(16, '0');
    bytes += QByteArray("\r\n\x01\x00", 4);
    return bytes;
}

Originals::Entry entryFrom(const char *bytes)
{
    Originals::Entry entry;
    entry.name = QString::fromLatin1(bytes, Originals::NameWidth).trimmed();
    entry.fingerprint = QByteArray(bytes + Originals::NameWidth + 1, 16).toULongLong(nullptr, 16);
    return entry;
}

} // namespace

Originals::Originals(Kind kind)
    : Originals(kind == Kind::Received ? ProgramFolder::receivedHistory() : ProgramFolder::sentHistory(),
                kind == Kind::Received ? ProgramFolder::receivedIndex() : ProgramFolder::sentIndex(),
                kind == Kind::Received ? ProgramFolder::receivedOriginals() : ProgramFolder::sentOriginals())
{
}

Originals::Originals(const QString &historyFile, const QString &indexFile, const QString &maildir)
    : m_history(historyFile), m_index(indexFile), m_maildir(maildir)
{
}

quint64 Originals::fingerprint(const QByteArray &heading)
{
    // FNV-1a: the same value on every machine and every version of the program.
    quint64 hash = 14695981039346656037ull;
    for (const char c : heading.left(HistoryRecord::HeadingSize)) {
        hash ^= uchar(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

int Originals::entryCount() const
{
    return RecordFile(m_index, indexLayout()).count();
}

QList<Originals::Entry> Originals::entries() const
{
    const QByteArray all = RecordFile(m_index, indexLayout()).readAll();
    QList<Entry> list;
    list.reserve(all.size() / EntrySize);
    for (qsizetype at = 0; at + EntrySize <= all.size(); at += EntrySize)
        list.append(entryFrom(all.constData() + at));
    return list;
}

QString Originals::pathOf(int n, const QByteArray &heading)
{
    const quint64 expected = fingerprint(heading);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::optional<QByteArray> bytes = RecordFile(m_index, indexLayout()).read(n);
        if (bytes) {
            const Entry entry = entryFrom(bytes->constData());
            if (entry.fingerprint == expected)
                return m_maildir.find(entry.name);
        }
        if (attempt == 0 && entryCount() > 0)
            reconcile();
    }
    return QString();
}

bool Originals::link(int first, const QList<Link> &links, QString *problem)
{
    RecordFile index(m_index, indexLayout());
    int have = index.count();
    if (have > first - 1) {
        // Entries the history does not have yet: stale, or a crash's, paired up first.
        reconcile();
        have = index.count();
    }
    if (have > first - 1) {
        if (problem)
            *problem = QStringLiteral("メールの原本の一覧が履歴と合いません。");
        return false;
    }
    // Records without an original before these (older ones, or a failed send).
    const QList<quint64> older = have < first - 1 ? headingFingerprints(first - 1) : QList<quint64>();
    for (int k = have; k < first - 1; ++k) {
        if (index.append(entryBytes({QString(), k < older.size() ? older[k] : 0}), RecordFile::Flush::Later) == 0)
            break;
    }
    for (const Link &l : links)
        if (index.append(entryBytes({l.name, fingerprint(l.heading)}), RecordFile::Flush::Later) == 0)
            break;
    if (index.lastError().isEmpty() && index.flush())
        return true;
    if (problem)
        *problem = index.lastError().isEmpty() ? indexLayout().texts.cannotWrite : index.lastError();
    return false;
}

bool Originals::setHeading(int n, const QByteArray &heading)
{
    RecordFile index(m_index, indexLayout());
    const std::optional<QByteArray> bytes = index.read(n);
    if (!bytes)
        return false;
    Entry entry = entryFrom(bytes->constData());
    entry.fingerprint = fingerprint(heading);
    return index.write(n, entryBytes(entry));
}

void Originals::removeOriginal(int n, const QByteArray &heading)
{
    const QString path = pathOf(n, heading);
    if (!path.isEmpty())
        m_maildir.remove(Maildir::nameOf(path.section(u'/', -1)));
}

void Originals::removeAllOriginals()
{
    for (const Entry &entry : entries())
        if (!entry.name.isEmpty())
            m_maildir.remove(entry.name);
}

bool Originals::dropEntry(int n, QString *problem)
{
    RecordFile index(m_index, indexLayout());
    if (n > index.count())
        return true; // a record that never had an entry
    if (index.mark(n) && index.compact())
        return true;
    if (problem)
        *problem = index.lastError();
    return false;
}

bool Originals::dropEntriesFrom(int first, QString *problem)
{
    RecordFile index(m_index, indexLayout());
    const int count = index.count();
    bool ok = true;
    for (int n = std::max(first, 1); ok && n <= count; ++n)
        ok = index.mark(n);
    if (ok && index.compact())
        return true;
    if (problem)
        *problem = index.lastError();
    return false;
}

bool Originals::dropAllEntries(QString *problem)
{
    RecordFile index(m_index, indexLayout());
    if (!QFile::exists(m_index) || index.clear())
        return true;
    if (problem)
        *problem = index.lastError();
    return false;
}

QList<quint64> Originals::headingFingerprints(int count) const
{
    QList<quint64> prints;
    QFile file(m_history);
    if (!file.open(QIODevice::ReadOnly))
        return prints;
    prints.reserve(count);
    QByteArray heading(HistoryRecord::HeadingSize, '\0');
    for (int k = 0; k < count; ++k) {
        if (!file.seek(qint64(k) * HistoryRecord::Size)
            || file.read(heading.data(), heading.size()) != heading.size())
            break;
        prints.append(fingerprint(heading));
    }
    return prints;
}

bool Originals::writeEntries(const QList<Entry> &entries, QString *problem)
{
    QByteArray bytes;
    bytes.reserve(entries.size() * EntrySize);
    for (const Entry &e : entries)
        bytes += entryBytes(e);
    const int error = FileError::replaceFile(m_index, bytes);
    if (error != 0 && problem)
        *problem = FileError::text(error);
    return error == 0;
}

QStringList Originals::reconcile()
{
    const QList<Entry> old = entries();
    const QList<quint64> records = headingFingerprints(::History::RecordCount(m_history));
    const qsizetype r = records.size();

    bool agree = old.size() >= r;
    for (qsizetype k = 0; agree && k < r; ++k)
        agree = old[k].fingerprint == records[k];

    QList<Entry> paired;
    qsizetype next = 0; // the first entry not yet used
    if (agree) {
        paired = old.mid(0, r);
        next = r;
    } else {
        // Each record takes the first unused entry with its fingerprint: entries keep the
        // history's order, so the ones skipped belong to records that are gone.
        QHash<quint64, QList<qsizetype>> where;
        for (qsizetype j = 0; j < old.size(); ++j)
            where[old[j].fingerprint].append(j);
        QList<qsizetype> dropped;
        for (qsizetype k = 0; k < r; ++k) {
            const QList<qsizetype> &candidates = where.value(records[k]);
            const auto it = std::lower_bound(candidates.cbegin(), candidates.cend(), next);
            if (it == candidates.cend()) {
                paired.append({QString(), records[k]});
                continue;
            }
            for (qsizetype j = next; j < *it; ++j)
                dropped.append(j);
            paired.append(old[*it]);
            next = *it + 1;
        }
        for (qsizetype j : std::as_const(dropped))
            if (!old[j].name.isEmpty())
                m_maildir.remove(old[j].name);
    }

    // The folder is read once: a history of thousands of mails is paired in one pass.
    const QStringList present = m_maildir.namesSince();
    const QSet<QString> there(present.cbegin(), present.cend());
    // Beyond the last record: originals whose record a crash lost are kept for the caller.
    QStringList waiting;
    for (qsizetype j = next; j < old.size(); ++j) {
        if (old[j].name.isEmpty() || !there.contains(old[j].name))
            continue;
        paired.append(old[j]);
        waiting.append(old[j].name);
    }
    // A record's entry whose original has gone (removed first by a deletion a crash cut short)
    // says so no longer.
    for (Entry &e : paired)
        if (!e.name.isEmpty() && !there.contains(e.name))
            e.name.clear();

    bool same = paired.size() == old.size();
    for (qsizetype k = 0; same && k < paired.size(); ++k)
        same = paired[k].name == old[k].name && paired[k].fingerprint == old[k].fingerprint;
    if (!same)
        writeEntries(paired, nullptr);
    return waiting;
}
