#include "AutoCheck.h"

#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/Notifier.h"
#include "kit/BackgroundWork.h"
#include "kit/WindowKit.h"
#include "platform/Cp932.h"
#include "receive/IncomingMail.h"
#include "send/SendCall.h"
#include "transport/ServerAddress.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QDBusConnection>
#include <QHostAddress>
#include <QLineEdit>
#include <QNetworkInformation>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kLongestWait = 60 * kMinute;
// How often a check that must wait looks again.
constexpr int kWaitAgain = 1000;
// After sleep the network needs a moment.
constexpr int kSoon = 5000;

AutoCheck *g_current = nullptr;

} // namespace

AutoCheck::AutoCheck(QObject *parent) : QObject(parent), m_notifier(new Notifier(this))
{
    g_current = this;
    connect(m_notifier, &Notifier::activated, this, [] { Forms::tyakuForm()->OpenHistory(1); });
}

AutoCheck::~AutoCheck()
{
    if (g_current == this)
        g_current = nullptr;
    if (m_worker) {
        m_stop = true;
        m_worker->wait();
        BackgroundWork::end();
    }
}

AutoCheck *AutoCheck::current()
{
    return g_current;
}

qint64 AutoCheck::delay(double minutes, int failures)
{
    const qint64 interval = qMax<qint64>(1000, qint64(std::llround(minutes * kMinute)));
    if (failures < 2)
        return interval;
    // Doubled for each failure after the first, up to an hour (or the interval, when longer).
    const qint64 longest = qMax(interval, kLongestWait);
    const qint64 longer = interval << qMin(failures - 1, 16);
    return qMin(longer, longest);
}

QString AutoCheck::failureLine(const QString &what, const QTime &at)
{
    return QStringLiteral("%1 %2。「受信」を押すと詳しく表示します。").arg(at.toString(QStringLiteral("H:mm")), what);
}

void AutoCheck::apply()
{
    const AccountSettings &settings = AccountSettings::instance();
    if (settings.AutoCheckMinutes <= 0) {
        if (!m_startCheck && m_timer) {
            delete m_timer;
            m_timer = nullptr;
        }
        return;
    }
    watchDesktop();
    if (!m_worker)
        schedule(delay(settings.AutoCheckMinutes, m_failures));
}

void AutoCheck::startUp()
{
    if (AccountSettings::instance().CheckAtStart) {
        m_startCheck = true;
        watchDesktop();
        schedule(0);
    }
    apply();
}

void AutoCheck::schedule(qint64 milliseconds)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setObjectName(QStringLiteral("AutoCheckTimer"));
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &AutoCheck::due);
    }
    // A check at start that is still to come keeps its early time.
    if (m_startCheck && m_timer->isActive() && m_timer->remainingTime() < milliseconds)
        return;
    m_timer->start(int(qMin<qint64>(milliseconds, std::numeric_limits<int>::max())));
}

void AutoCheck::watchDesktop()
{
    if (m_watching)
        return;
    m_watching = true;
    // Which backend there is depends on the desktop; without one the network counts as there.
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    if (QNetworkInformation *network = QNetworkInformation::instance()) {
        connect(network, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability reachability) {
                    if (reachability != QNetworkInformation::Reachability::Disconnected)
                        soon();
                });
    }
    // logind says when the computer wakes up; the timers do not count the time it slept.
    QDBusConnection::systemBus().connect(QStringLiteral("org.freedesktop.login1"),
                                         QStringLiteral("/org/freedesktop/login1"),
                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                         QStringLiteral("PrepareForSleep"), this, SLOT(sleeping(bool)));
}

void AutoCheck::soon()
{
    if (!m_timer || m_worker)
        return;
    if (m_timer->remainingTime() > kSoon)
        m_timer->start(kSoon);
}

void AutoCheck::sleeping(bool starting)
{
    if (!starting)
        soon();
}

bool AutoCheck::mustWait() const
{
    return MailCheck::running() || BackgroundWork::running() || SendCall::busy() || Kit::waitingOnNetwork()
           || QApplication::activeModalWidget() != nullptr;
}

bool AutoCheck::offline() const
{
    const QNetworkInformation *network = QNetworkInformation::instance();
    if (!network || network->reachability() != QNetworkInformation::Reachability::Disconnected)
        return false;
    // A server on this computer is there without a network.
    const ServerAddress server = ServerAddress::parse(Cp932::fromUnicode(AccountSettings::instance().Pop3Server), true);
    const QString host = QString::fromStdString(server.host);
    return host.compare(u"localhost", Qt::CaseInsensitive) != 0 && !QHostAddress(host).isLoopback();
}

void AutoCheck::due()
{
    if (m_exiting)
        return;
    if (mustWait()) {
        m_timer->start(kWaitAgain);
        return;
    }
    const AccountSettings &settings = AccountSettings::instance();
    if (offline()) {
        // Not a failure: the check comes when the network does, or at the next interval.
        if (settings.AutoCheckMinutes > 0)
            m_timer->start(int(delay(settings.AutoCheckMinutes, m_failures)));
        return;
    }
    m_startCheck = false;
    start();
}

void AutoCheck::start()
{
    m_account = AccountSettings::instance();
    m_stop = false;
    BackgroundWork::begin();
    const QPointer<AutoCheck> self(this);
    m_worker.reset(QThread::create([this, self] {
        const MailCheck::Outcome outcome = MailCheck::run({true, &m_account, &m_stop});
        // Behind everything the check put into the windows.
        BackgroundWork::onWindowThread([self, outcome] {
            if (self)
                self->finished(outcome);
        });
    }));
    m_worker->setObjectName(QStringLiteral("AutoCheck"));
    m_worker->start();
}

void AutoCheck::finished(const MailCheck::Outcome &outcome)
{
    if (!m_worker)
        return;
    m_worker->wait();
    m_worker.reset();
    BackgroundWork::end();
    m_last = outcome;
    AccountSettings &settings = AccountSettings::instance();
    settings.AccountId = m_account.AccountId;
    settings.AccountPassword = m_account.AccountPassword;
    if (m_exiting)
        return;

    if (outcome.failure.isEmpty())
        m_failures = 0;
    else
        ++m_failures;
    if (MainForm *main = Forms::existingMainForm(); main && outcome.failure.isEmpty())
        main->Text1->setToolTip(QString()); // the failure it told of has passed
    if (outcome.count > 0) {
        if (settings.NotifyNewMail)
            showNewest(outcome.count);
    } else if (!outcome.failure.isEmpty() && !m_joined) {
        if (MainForm *main = Forms::existingMainForm()) {
            main->Text1->show();
            main->Text1->setText(failureLine(outcome.failure, QTime::currentTime()));
            main->Text1->setCursorPosition(0);
            main->Text1->setToolTip(outcome.detail);
        }
    }
    if (settings.AutoCheckMinutes > 0)
        schedule(delay(settings.AutoCheckMinutes, m_failures));
    else if (m_timer && !m_startCheck) {
        delete m_timer;
        m_timer = nullptr;
    }
}

void AutoCheck::showNewest(int count)
{
    // The history window's list holds this check's mails, the newest last.
    QList<Notifier::Mail> newest;
    if (TyakuForm *window = Forms::existingTyakuForm()) {
        for (int row = qMax(0, window->rowCount() - 3); row < window->rowCount(); ++row)
            newest.append({window->mailList->text(row, 1), window->mailList->text(row, 0)});
    }
    m_notifier->newMail(count, newest);
}

bool AutoCheck::join()
{
    if (!m_worker)
        return false;
    m_joined = true;
    BackgroundWork::waitUntilDone();
    m_joined = false;
    if (m_last.count < 0 || (m_last.count == 0 && !m_last.failure.isEmpty()))
        return false;
    if (m_last.count == 0)
        IncomingMail::FinishCheck(IncomingMail::CheckState(), 0);
    return true;
}

void AutoCheck::stopForExit()
{
    m_exiting = true;
    delete m_timer;
    m_timer = nullptr;
    if (!m_worker)
        return;
    // The windows go now; the check finishes its last mail and ends its connection first.
    BackgroundWork::dropQueuedUpdates();
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    m_stop = true;
    m_worker->wait();
    m_worker.reset();
    BackgroundWork::end();
}
