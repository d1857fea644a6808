#pragma once

#include "app/AccountSettings.h"
#include "receive/MailCheck.h"

#include <QObject>
#include <QTime>

#include <atomic>
#include <memory>

class Notifier;
class QThread;
class QTimer;

// The mail check that runs by itself: every few minutes while the server dialog says so, and
// once at start when asked. It runs beside the window thread and opens no window; new mail comes
// out as after "受信" (records, rows, the status, the dogs) and as a desktop notification, a
// failure as one line in the status box. One check runs at a time: a check that falls due while
// another check, a send or a message box is under way waits until it has ended.
class AutoCheck : public QObject
{
    Q_OBJECT
public:
    explicit AutoCheck(QObject *parent = nullptr);
    ~AutoCheck() override;

    // The one that lives with the main window; null before it and after it.
    static AutoCheck *current();

    // Takes the settings in: starts, moves or stops the timer. No timer exists while off.
    void apply();
    // At start-up: the check at start, when asked for.
    void startUp();
    // "受信" while an automatic check runs waits for it; true when its outcome answers the
    // click (a failed one does not: the click checks again and shows why).
    bool join();
    // The program ends: an automatic check stops before its next mail, keeps what it stored
    // and ends its connection properly; waits for it.
    void stopForExit();

    bool checking() const { return bool(m_worker); }
    // The timer of the next check; null while none is due.
    QTimer *timer() const { return m_timer; }
    int failures() const { return m_failures; }
    // How long after now the next check is due, after `failures` failures in a row.
    static qint64 delay(double minutes, int failures);
    static QString failureLine(const QString &what, const QTime &at);

    Notifier *notifier() const { return m_notifier; }

public slots:
    // Back from sleep, or the network came back: a check soon, when one is due at all.
    void soon();

private slots:
    void sleeping(bool starting);

private:
    void due();
    bool mustWait() const;
    bool offline() const;
    void start();
    void finished(const MailCheck::Outcome &outcome);
    void schedule(qint64 milliseconds);
    void watchDesktop();
    void showNewest(int count);

    QTimer *m_timer = nullptr;
    std::unique_ptr<QThread> m_worker;
    std::atomic<bool> m_stop{false};
    AccountSettings m_account; // what the running check reads, taken when it starts
    Notifier *m_notifier;
    MailCheck::Outcome m_last;
    int m_failures = 0;
    bool m_startCheck = false; // the check at start is still to come
    bool m_joined = false;
    bool m_watching = false;
    bool m_exiting = false;
};
