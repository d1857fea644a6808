#pragma once

#include "store/Maildir.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>

class QThreadPool;

// Writes originals into a Maildir on worker threads, so that forcing each to the disk overlaps
// with fetching the next mails, and the disk commits several at once.
class OriginalWriter
{
public:
    explicit OriginalWriter(const Maildir &maildir);
    ~OriginalWriter(); // waits for the writes under way

    // Starts writing `bytes` (shared, not copied) as a new mail of the folder and returns the
    // name it will have. Waits first while much is still being written.
    QString start(const QByteArray &bytes);
    // Waits until everything started is written and delivered, then forces the deliveries to the
    // disk. False when any mail could not be written (`problem` says why); the others of the
    // round may be delivered all the same.
    bool finish(QString *problem);

private:
    Maildir m_maildir;
    std::unique_ptr<QThreadPool> m_pool;
    std::mutex m_mutex;
    std::condition_variable m_written;
    qint64 m_inFlight = 0; // bytes started and not yet written
    QString m_problem;     // the first failure of the round
};
