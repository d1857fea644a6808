#include "SendCall.h"

#include "app/CertificateForm.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "transport/MailTransport.h"
#include "transport/TypedInput.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QWidget>

#include <memory>

SendCall::SendCall()
{
    QCoreApplication::instance()->installEventFilter(this);
}

SendCall::~SendCall()
{
    QCoreApplication::instance()->removeEventFilter(this);
    for (const QPointer<QWidget> &window : std::as_const(m_closeLater))
        if (window)
            QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
}

const QString &SendCall::errorTitle()
{
    static const QString title = QStringLiteral("送信エラー");
    return title;
}

bool SendCall::attachmentsReady(const QString &attachments)
{
    const QString problem = Outbox::attachmentProblem(attachments);
    if (problem.isEmpty())
        return true;
    MsgBox(problem, Prompter::Buttons::Ok, Prompter::Icon::None, errorTitle());
    return false;
}

bool SendCall::recipientsReady(QString &to)
{
    const TypedInput::Checked typed = TypedInput::addresses(to, true);
    to = typed.text;
    if (typed.problem.isEmpty())
        return true;
    MsgBox(TypedInput::message(QStringLiteral("宛先"), typed), Prompter::Buttons::Ok, Prompter::Icon::None,
           errorTitle());
    return false;
}

bool SendCall::send(const Outbox::Mail &mail, int sentRecord)
{
    const IdPassFile::Credentials credentials = IdPassFile::smtpCredentials(ProgramFolder::idPassIni());
    MailTransport &transport = MailTransport::instance();
    Outbox::Result result;
    // The dialogue runs beside the user-interface thread, which only repaints meanwhile.
    auto attempt = [&] {
        std::unique_ptr<QThread> worker(QThread::create(
            [&transport, &mail, &credentials, &result] { result = Outbox::send(transport, mail, credentials); }));
        worker->start();
        while (!worker->wait(QDeadlineTimer(10)))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
    };
    attempt();
    // A server certificate is judged here, after the worker has returned; trusted, the same click
    // sends again. Declined once, it is not asked about again for the other mails of this click.
    while (!result.sent && !m_declined) {
        const CertificateForm::Answer answer = CertificateForm::askAfterFailure(transport);
        if (answer == CertificateForm::Answer::NotAsked)
            break;
        if (answer == CertificateForm::Answer::Declined)
            m_declined = true;
        else
            attempt();
    }
    if (result.sent) {
        QString problem;
        if (sentRecord > 0 && !Outbox::keepSent(sentRecord, result.mime, &problem))
            MsgBox(QStringLiteral("メールは送信しましたが、送信したメールの原本を保存できませんでした。\r\n") + problem,
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        return true;
    }
    if (!m_declined || !transport.refusedCertificate())
        MsgBox(result.failure, Prompter::Buttons::Ok, Prompter::Icon::None, errorTitle());
    return false;
}

bool SendCall::eventFilter(QObject *watched, QEvent *event)
{
    // A window asked to close (by its close box, or by anything that ran meanwhile) waits until
    // the send is over.
    if (event->type() == QEvent::Close && watched->isWidgetType()) {
        auto *window = static_cast<QWidget *>(watched);
        // Message boxes and dialogs of the send close as usual.
        if (window->isWindow() && !window->isModal()) {
            if (!m_closeLater.contains(window))
                m_closeLater.append(window);
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
