#pragma once
// What several benchmarks need: the process's memory figures and a ready-made received history.

#include "store/HistoryFile.h"

#include <QDir>
#include <QFile>

#include <functional>

namespace bench {

// A field of /proc/self/status ("VmRSS:", "VmHWM:") in kB, or -1.
inline long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Forgets the peak so far: VmHWM starts again from the present resident size.
inline void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

inline double statusMb(const char *key)
{
    const long kb = statusKb(key);
    return kb < 0 ? -1 : kb / 1024.0;
}

// FOLDER/★MailData/ppdata2.data holding `count` received mails, mail n with the text `body(n)`.
// Returns 0, or 1 where the file cannot be written.
inline int writeReceivedHistory(const QString &folder, int count, const std::function<QString(int)> &body)
{
    QDir().mkpath(folder + QStringLiteral("/★MailData"));
    QFile out(folder + QStringLiteral("/★MailData/ppdata2.data"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    for (int n = 1; n <= count; ++n) {
        const HistoryRecord r = HistoryRecord::make(QStringLiteral("Re: 打ち合わせの件 %1").arg(n),
                                                    QStringLiteral("Wed, 9 Dec 2026 10:%1:00 +0900").arg(n % 60),
                                                    QStringLiteral("山田 太郎 <taro%1@example.jp>").arg(n), body(n));
        if (out.write(r.bytes()) != r.bytes().size())
            return 1;
    }
    return out.flush() ? 0 : 1;
}

} // namespace bench
