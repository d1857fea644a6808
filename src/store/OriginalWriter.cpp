#include "OriginalWriter.h"

#include <QThreadPool>

namespace {

// Several writes at once let the file system commit them together; the bound keeps memory
// within a few mails when the disk is slower than the network.
constexpr int kWriters = 16;
constexpr qint64 kMaxInFlight = qint64(64) << 20;

} // namespace

OriginalWriter::OriginalWriter(const Maildir &maildir) : m_maildir(maildir), m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(kWriters);
}

OriginalWriter::~OriginalWriter() { m_pool->waitForDone(); }

QString OriginalWriter::start(const QByteArray &bytes)
{
    const QString name = Maildir::newName(bytes);
    {
        std::unique_lock lock(m_mutex);
        m_written.wait(lock, [&] { return m_inFlight == 0 || m_inFlight + bytes.size() <= kMaxInFlight; });
        m_inFlight += bytes.size();
    }
    m_pool->start([this, bytes, name] {
        QString problem;
        const std::optional<Maildir::Pending> pending = m_maildir.write(bytes, &problem, name);
        const bool ok = pending && m_maildir.deliver(*pending, &problem);
        std::lock_guard lock(m_mutex);
        m_inFlight -= bytes.size();
        if (!ok && m_problem.isEmpty())
            m_problem = problem;
        m_written.notify_all();
    });
    return name;
}

bool OriginalWriter::finish(QString *problem)
{
    m_pool->waitForDone();
    QString failure;
    {
        std::lock_guard lock(m_mutex);
        failure = m_problem;
        m_problem.clear();
    }
    if (failure.isEmpty() && m_maildir.syncDelivered(&failure))
        return true;
    if (problem)
        *problem = failure;
    return false;
}
