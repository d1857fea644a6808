#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The desktop notification for new mail, through the freedesktop notification service on the
// session bus. Without a bus or a service nothing is shown and nothing is said.
class Notifier : public QObject
{
    Q_OBJECT
public:
    explicit Notifier(QObject *parent = nullptr);

    struct Mail
    {
        QString from, subject;
    };
    // "新着メール N件" with the sender and subject of up to three of `newest` (newest last),
    // replacing the notification shown before, if it is still there.
    void newMail(int count, const QList<Mail> &newest);

    static QString title(int count);
    static QString body(const QList<Mail> &newest);

signals:
    // The user clicked the notification.
    void activated();

private slots:
    void actionInvoked(uint id, const QString &action);

private:
    uint m_shown = 0; // the id the service gave the last notification
    bool m_listening = false;
};
