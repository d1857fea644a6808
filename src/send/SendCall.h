#pragma once

#include "Outbox.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

// The send as both mail windows make it. While the transport talks to the server the windows
// keep repainting; clicks and keys wait until the send ends, and a window that is asked to close
// meanwhile closes only afterwards, so nothing is torn down under a send.
class SendCall : public QObject
{
    Q_OBJECT
public:
    SendCall();
    ~SendCall() override; // closes the windows that were asked to close meanwhile

    // A message box (title "送信エラー") naming the attachment that cannot go; false then.
    static bool attachmentsReady(const QString &attachments);
    // The recipients as typed into a "宛先" field, with full-width letters of the addresses made
    // ASCII in `to`; false, after a message box naming what cannot be in an address, when one is
    // wrong.
    static bool recipientsReady(QString &to);

    // Hands one mail to the transport with the saved SMTP login. A failure is shown in the box
    // "送信エラー" with the transport's text, except a server certificate the user declined to
    // trust (see CertificateForm); returns whether the mail went out. A mail recorded as record
    // `sentRecord` of the sent history is kept whole as that record's original.
    bool send(const Outbox::Mail &mail, int sentRecord = 0);

    static const QString &errorTitle();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QPointer<QWidget>> m_closeLater;
    bool m_declined = false; // a server certificate, by the user in this send
};
