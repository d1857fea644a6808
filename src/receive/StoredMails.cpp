#include "StoredMails.h"

#include "platform/FileError.h"
#include "store/Maildir.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray kHeading = "WanderpupUIDL 1";

bool validId(const QByteArray &id)
{
    if (id.isEmpty() || id.size() > 70)
        return false;
    for (const char c : id)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

// An original's name as the Maildir gives it: nothing that could lead out of its folder.
bool validName(const QString &name)
{
    return Maildir::nameOf(name) == name;
}

} // namespace

StoredMails::StoredMails(const QString &file, const QString &account)
    : m_file(file), m_account(QUrl::toPercentEncoding(account))
{
}

bool StoredMails::load()
{
    m_mine.clear();
    m_others.clear();
    m_changed = false;
    QFile f(m_file);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = f.readAll().split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != kHeading)
        return true; // not ours: it is replaced by the next save
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3 && fields.size() != 4)
            continue;
        bool ok = false;
        const qint64 size = fields[2].toLongLong(&ok);
        if (!ok || !validId(fields[1]))
            continue;
        const QString original = fields.size() == 4 ? QString::fromLatin1(fields[3]) : QString();
        if (fields[0] == m_account)
            m_mine.insert(fields[1], {size, validName(original) ? original : QString()});
        else
            m_others.append(line);
    }
    return true;
}

bool StoredMails::contains(const QByteArray &id, qint64 size) const
{
    const auto it = m_mine.constFind(id);
    return it != m_mine.cend() && it->size == size;
}

void StoredMails::add(const QByteArray &id, qint64 size, const QString &original)
{
    if (!validId(id))
        return;
    m_mine.insert(id, {size, validName(original) ? original : QString()});
    m_changed = true;
}

QStringList StoredMails::originals() const
{
    QStringList names;
    for (const Mine &m : m_mine)
        if (!m.original.isEmpty())
            names.append(m.original);
    return names;
}

void StoredMails::remove(const QByteArray &id)
{
    if (m_mine.remove(id))
        m_changed = true;
}

void StoredMails::keepOnly(const QSet<QByteArray> &onServer)
{
    for (auto it = m_mine.begin(); it != m_mine.end();) {
        if (onServer.contains(it.key())) {
            ++it;
        } else {
            it = m_mine.erase(it);
            m_changed = true;
        }
    }
}

bool StoredMails::save(QString *problem)
{
    QByteArray text = kHeading + "\r\n";
    for (const QByteArray &line : std::as_const(m_others))
        text += line + "\r\n";
    for (auto it = m_mine.cbegin(); it != m_mine.cend(); ++it)
        text += m_account + ' ' + it.key() + ' ' + QByteArray::number(it->size)
                + (it->original.isEmpty() ? QByteArray() : ' ' + it->original.toLatin1()) + "\r\n";
    const int error = FileError::replaceFile(m_file, text);
    if (error != 0) {
        if (problem)
            *problem = FileError::text(error);
        return false;
    }
    m_changed = false;
    return true;
}
