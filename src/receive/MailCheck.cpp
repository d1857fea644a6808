#include "MailCheck.h"

#include "IncomingMail.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "kit/WindowKit.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "store/HistoryFile.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace {

// Mails stored before their deletion is sent to the server.
constexpr int kDeleteBatch = 100;

QByteArray cutAtNul(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

void showStoreFailure(const QString &reason)
{
    MsgBox(QStringLiteral("受信したメールを保存できませんでした。メールはサーバーに残してあります。"
                          "原因を取り除いてから、もう一度受信して下さい。\n")
               + reason,
           Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

// One run of the mail check, from the connection to the announcement. A mail leaves the server
// only after its record is on the disk; a mail that cannot be retrieved or stored stops the
// check and stays on the server.
class MailCheckSession
{
public:
    explicit MailCheckSession(MailTransport &transport)
        : m_transport(transport), m_account(AccountSettings::instance()), m_main(Forms::mainForm())
    {
    }

    void run()
    {
        if (connect()) {
            if (takeAccount()) {
                login();
                for (int number = 1; number <= m_count; ++number) {
                    showProgress(number);
                    RetrievedMail mail;
                    if (!fetchOne(number, mail) || !store(number, mail) || !deleteInBatches()) {
                        m_stopped = true;
                        break;
                    }
                }
                if (!deletePending())
                    m_stopped = true;
                reportLoginFailure();
            }
            close();
        }
        finish();
    }

private:
    // Message boxes of the check let the user act meanwhile, also close the main window.
    void setHelp(const QString &text)
    {
        if (m_main)
            m_main->Label2->setText(text);
    }

    QString failureText() { return TextRules::CutAtNul(Cp932::toUnicode(m_transport.NMailGetMessage())); }

    // False when there is no connection; the status box then stays as it was, as nothing was
    // checked: without a server the server dialog opens as at start-up, a server that cannot be
    // reached is reported with the transport's words.
    bool connect()
    {
        if (m_account.Pop3Server.isEmpty()) {
            m_count = -1;
            OptionForm *dialog = Forms::optionForm();
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
            return false;
        }
        // Said before the connection is asked for, which may take until the time-out.
        setHelp(QStringLiteral("メールのチェックをしています。"));
        Kit::keepWindowsAlive();
        m_handle = m_transport.NMailPop3Connect(Cp932::fromUnicode(m_account.Pop3Server));
        if (m_handle < 0) {
            m_count = -1;
            MsgBox(failureText(), Prompter::Buttons::Ok, Prompter::Icon::None, QStringLiteral("エラー"));
            return false;
        }
        return true;
    }

    // The account always comes from the file; what was typed but not saved is replaced. False
    // (and the dialog shown) when the ID or the password is missing.
    bool takeAccount()
    {
        const QString idPassIni = ProgramFolder::idPassIni();
        const QString id = IdPassFile::read(idPassIni, QStringLiteral("NAME"));
        const QString password = IdPassFile::read(idPassIni, QStringLiteral("NAME2"));
        IdPassForm *dialog = Forms::idPassForm();
        dialog->IdText->setText(id);
        dialog->PassText->setText(password);
        m_account.AccountId = id;
        m_account.AccountPassword = password;
        if (id.isEmpty() || password.isEmpty()) {
            dialog->show();
            return false;
        }
        return true;
    }

    void login()
    {
        Forms::tyakuForm()->clearList();
        m_count = m_transport.NMailPop3Authenticate(m_handle, Cp932::fromUnicode(m_account.AccountId),
                                                    Cp932::fromUnicode(m_account.AccountPassword),
                                                    m_account.UseApop != 0 ? -1 : 0);
        m_sinceRepaint.start();
    }

    void showProgress(int number)
    {
        setHelp(MailCheck::progressText(number, m_count));
        if (number == 1 || m_sinceRepaint.elapsed() >= 100) {
            IncomingMail::ShowLastBody(m_incoming);
            Kit::keepWindowsAlive();
            m_sinceRepaint.restart();
        }
    }

    bool fetchOne(int number, RetrievedMail &mail)
    {
        QByteArray subject, date, from, header, body;
        m_transport.NMailPop3GetMailStatus(m_handle, number, subject, date, from, header, 0);
        const int size = m_transport.NMailPop3GetMailSize(m_handle, number);
        body = QByteArray(qMax(size, 0) + 1, ' ');
        const int got = m_transport.NMailPop3GetMail(m_handle, number, subject, date, from, header, body, 0, 0);
        if (size < 0 || got < 0) {
            // Storing an empty mail and deleting the real one would lose it.
            MsgBox(QStringLiteral("メールを受信できませんでした。受信できなかったメールはサーバーに残してあります。\n")
                       + failureText(),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
            return false;
        }
        mail = RetrievedMail{cutAtNul(subject), cutAtNul(date), cutAtNul(from), cutAtNul(header), cutAtNul(body)};
        return true;
    }

    bool store(int number, const RetrievedMail &mail)
    {
        QString problem;
        if (!IncomingMail::HandleMail(m_incoming, m_transport, m_handle, mail, &problem)) {
            showStoreFailure(problem);
            return false;
        }
        m_pending.append(number);
        return true;
    }

    // Stored mails are deleted once their records are on the disk, in batches, as forcing every
    // record to the disk alone would cost more than fetching it.
    bool deleteInBatches() { return m_pending.size() < kDeleteBatch || deletePending(); }

    bool deletePending()
    {
        if (m_pending.isEmpty())
            return true;
        if (!History::FlushHistory(ProgramFolder::receivedHistory())) {
            m_pending.clear();
            showStoreFailure(History::lastError());
            return false;
        }
        for (int number : std::as_const(m_pending))
            if (m_transport.NMailPop3DeleteMail(m_handle, number) >= 0)
                ++m_deletions;
        m_kept += int(m_pending.size());
        m_pending.clear();
        return true;
    }

    void reportLoginFailure()
    {
        if (m_count < 0)
            MsgBox(failureText(), Prompter::Buttons::Ok, Prompter::Icon::None, QStringLiteral("エラー"));
    }

    void close()
    {
        if (m_transport.NMailPop3Close(m_handle) < 0 && m_deletions > 0) {
            // The mails are stored, but the server keeps them: say so rather than let them come
            // again unannounced.
            MsgBox(QStringLiteral("受信したメールは保存しましたが、サーバーから削除できませんでした。"
                                  "次の受信で同じメールをもう一度受信することがあります。\n")
                       + failureText(),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        }
    }

    void finish()
    {
        IncomingMail::ShowLastBody(m_incoming);
        IncomingMail::EndCheck(m_incoming);
        // A check that stopped reports what it stored; with nothing stored the status stays.
        IncomingMail::FinishCheck(m_incoming, m_stopped ? (m_kept > 0 ? m_kept : -1) : m_count);
    }

    MailTransport &m_transport;
    AccountSettings &m_account;
    const QPointer<MainForm> m_main;
    IncomingMail::CheckState m_incoming;
    int m_handle = -1;
    int m_count = 0;     // the mails on the server, negative without a connection or login
    int m_kept = 0;      // stored and deleted
    int m_deletions = 0; // deletions the server took
    bool m_stopped = false;
    QList<int> m_pending; // stored, not yet deleted
    QElapsedTimer m_sinceRepaint;
};

} // namespace

namespace MailCheck {

QString progressText(int number, int count)
{
    return QStringLiteral("メールを受信しています。%1/%2").arg(number).arg(count);
}

} // namespace MailCheck

void CheckMail()
{
    // One check at a time: a message box of the check lets the user click "受信" again.
    static bool running = false;
    if (running)
        return;
    running = true;
    struct Done
    {
        ~Done() { running = false; }
    } done;
    MailCheckSession(MailTransport::instance()).run();
}
