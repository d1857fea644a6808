#include "BackgroundWork.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace {

int g_running = 0;
std::atomic<bool> g_dropUpdates{false};

bool onTheWindowThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

namespace BackgroundWork {

void begin()
{
    ++g_running;
}

void end()
{
    if (g_running > 0)
        --g_running;
}

bool running()
{
    return g_running > 0;
}

void waitUntilDone()
{
    // The work ends with an update of its own, which wakes this loop.
    while (g_running > 0 && !g_dropUpdates)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

void onWindowThread(std::function<void()> update)
{
    if (onTheWindowThread()) {
        update();
        return;
    }
    if (g_dropUpdates)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [update = std::move(update)] {
            if (!g_dropUpdates)
                update();
        },
        Qt::QueuedConnection);
}

void dropQueuedUpdates()
{
    g_dropUpdates = true;
}

} // namespace BackgroundWork
