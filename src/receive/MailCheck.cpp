#include "MailCheck.h"

#include "IncomingMail.h"
#include "app/AccountSettings.h"
#include "app/CertificateForm.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "kit/WindowKit.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "StoredMails.h"
#include "store/HistoryFile.h"
#include "transport/ServerAddress.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSet>

#include <optional>

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
// only after its record is on the disk. A mail the server refuses (or sends short) stays on the
// server and the check goes on with the next one; a connection that is lost, or a mail that
// cannot be stored, ends the check. Where the server gives unique ids (UIDL), the mails stored
// are remembered until the server has deleted them, so that a check after a refused deletion or
// a lost connection neither stores them again nor leaves them on the server.
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
                if (m_count > 0)
                    skipStoredMails();
                for (int number = 1; number <= m_count; ++number) {
                    if (m_skipped.contains(number))
                        continue;
                    showProgress(number);
                    RetrievedMail mail;
                    if (!fetchOne(number, mail)) {
                        if (m_transport.pop3Usable(m_handle))
                            continue;
                        m_stopped = true;
                        break;
                    }
                    if (!store(number, mail) || !deleteInBatches()) {
                        m_stopped = true;
                        break;
                    }
                }
                if (!deletePending())
                    m_stopped = true;
                reportFetchFailures();
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
        m_count = authenticate();
        // A server certificate the user trusts just now: the same click goes on, on a new
        // connection. Declined, the check ends as one that could not connect.
        while (m_count < 0) {
            const CertificateForm::Answer answer = CertificateForm::askAfterFailure(m_transport);
            if (answer != CertificateForm::Answer::Trusted) {
                m_declined = answer == CertificateForm::Answer::Declined;
                break;
            }
            m_transport.NMailPop3Close(m_handle);
            m_handle = m_transport.NMailPop3Connect(Cp932::fromUnicode(m_account.Pop3Server));
            if (m_handle < 0)
                break;
            m_count = authenticate();
        }
        m_sinceRepaint.start();
    }

    int authenticate()
    {
        return m_transport.NMailPop3Authenticate(m_handle, Cp932::fromUnicode(m_account.AccountId),
                                                 Cp932::fromUnicode(m_account.AccountPassword),
                                                 m_account.UseApop != 0 ? -1 : 0);
    }

    // Mails an earlier check stored are deleted without being stored again.
    void skipStoredMails()
    {
        const ServerAddress server = ServerAddress::parse(Cp932::fromUnicode(m_account.Pop3Server), true);
        m_record.emplace(ProgramFolder::storedMailsRecord(), m_account.AccountId + u'@' + server.display);
        if (!m_record->load()) {
            m_record.reset(); // unreadable: stored mails may come again, none is lost
            return;
        }
        QSet<QByteArray> onServer;
        for (int number = 1; number <= m_count; ++number) {
            const QByteArray id = m_transport.uniqueId(m_handle, number);
            if (id.isEmpty())
                continue;
            onServer.insert(id);
            const qint64 size = m_transport.NMailPop3GetMailSize(m_handle, number);
            m_ids.insert(number, {id, size});
            if (m_record->contains(id, size)) {
                m_skipped.insert(number);
                if (m_transport.deleteStoredMail(m_handle, number, id) >= 0) {
                    ++m_deletions;
                    m_deleted.append(id);
                }
            }
        }
        m_record->keepOnly(onServer);
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
        // The body is handed back whole: a buffer as large as the server claims the mail to be
        // would trust the server with the program's memory.
        const int size = m_transport.NMailPop3GetMailSize(m_handle, number);
        const int got = m_transport.NMailPop3GetMail(m_handle, number, subject, date, from, header, body, 0, 0);
        if (size < 0 || got < 0) {
            // Storing an empty mail and deleting the real one would lose it.
            ++m_failedFetches;
            m_lastFetchFailure = failureText();
            return false;
        }
        mail = RetrievedMail{cutAtNul(subject), cutAtNul(date), cutAtNul(from), cutAtNul(header), cutAtNul(body)};
        return true;
    }

    void reportFetchFailures()
    {
        if (m_failedFetches == 0)
            return;
        const QString count =
            m_failedFetches > 1 ? QStringLiteral("（%1通）").arg(m_failedFetches) : QString();
        // The mails stored before the failure stay on the server too when the connection is lost.
        QString stored;
        if (m_undeleted > 0)
            stored = m_record ? QStringLiteral("受信済みの%1通は保存しました（サーバーからは次の受信で削除します）。\n")
                                    .arg(m_undeleted)
                              : QStringLiteral("受信済みの%1通は保存しましたが、サーバーにも残っています。\n").arg(m_undeleted);
        MsgBox(QStringLiteral("メールを受信できませんでした。%1受信できなかったメールはサーバーに残してあります。\n")
                       .arg(count)
                   + stored + m_lastFetchFailure,
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
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
        // Remembered, so that the next check knows these mails should their deletion not take
        // effect (the record is on the disk before the close makes the deletions count).
        if (m_record)
            for (int number : std::as_const(m_pending))
                if (const auto it = m_ids.constFind(number); it != m_ids.cend())
                    m_record->add(it->id, it->size);
        for (int number : std::as_const(m_pending)) {
            if (m_transport.NMailPop3DeleteMail(m_handle, number) >= 0) {
                ++m_deletions;
                if (const auto it = m_ids.constFind(number); it != m_ids.cend())
                    m_deleted.append(it->id);
            } else {
                ++m_undeleted;
            }
        }
        m_kept += int(m_pending.size());
        m_pending.clear();
        return true;
    }

    void reportLoginFailure()
    {
        if (m_count < 0 && !m_declined)
            MsgBox(failureText(), Prompter::Buttons::Ok, Prompter::Icon::None, QStringLiteral("エラー"));
    }

    void close()
    {
        if (m_record && m_record->changed())
            m_record->save();
        const bool closed = m_transport.NMailPop3Close(m_handle) >= 0;
        if (!closed && m_deletions > 0) {
            // The mails are stored, but the server keeps them: say so rather than let them stay
            // unannounced.
            MsgBox(QStringLiteral("受信したメールは保存しましたが、サーバーから削除できませんでした。")
                       + (m_record ? QStringLiteral("保存したメールは次の受信で保存し直さずに、もう一度削除します。\n")
                                   : QStringLiteral("次の受信で同じメールをもう一度受信することがあります。\n"))
                       + failureText(),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        }
        if (!m_record)
            return;
        // Deleted for good: the server may one day give these ids to other mails.
        if (closed)
            for (const QByteArray &id : std::as_const(m_deleted))
                m_record->remove(id);
        if (m_record->changed())
            m_record->save();
    }

    void finish()
    {
        IncomingMail::ShowLastBody(m_incoming);
        IncomingMail::EndCheck(m_incoming);
        // A check that stopped or left mails behind reports what it stored; with nothing stored
        // the status stays.
        int count = m_kept;
        if (m_count < 0)
            count = m_count;
        else if ((m_stopped || m_failedFetches > 0) && m_kept == 0)
            count = -1;
        IncomingMail::FinishCheck(m_incoming, count);
    }

    struct Stored
    {
        QByteArray id;
        qint64 size;
    };

    MailTransport &m_transport;
    AccountSettings &m_account;
    const QPointer<MainForm> m_main;
    IncomingMail::CheckState m_incoming;
    int m_handle = -1;
    int m_count = 0;     // the mails on the server, negative without a connection or login
    int m_kept = 0;      // stored and deleted
    int m_deletions = 0; // deletions the server took
    int m_undeleted = 0; // stored, but the deletion could not be asked for
    int m_failedFetches = 0;
    QString m_lastFetchFailure;
    bool m_stopped = false;
    bool m_declined = false; // the user did not trust the server's certificate
    QList<int> m_pending; // stored, not yet deleted
    QElapsedTimer m_sinceRepaint;
    std::optional<StoredMails> m_record;
    QHash<int, Stored> m_ids; // by mail number
    QSet<int> m_skipped;      // stored by an earlier check
    QList<QByteArray> m_deleted;
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
