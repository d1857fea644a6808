#include "MailCheck.h"

#include "IncomingMail.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "store/HistoryFile.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace {

QByteArray cutAtNul(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

// Lets the windows repaint during a long check. Clicks, keys and timers wait until it ends.
void repaintWindows()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
}

bool g_running = false;

// Mails stored before their deletion is sent to the server.
constexpr int kDeleteBatch = 100;

void showStoreFailure(const QString &reason)
{
    MsgBox(QStringLiteral("受信したメールを保存できませんでした。メールはサーバーに残してあります。"
                          "原因を取り除いてから、もう一度受信して下さい。\n")
               + reason,
           Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

} // namespace

namespace MailCheck {

QString progressText(int number, int count)
{
    return QStringLiteral("メールを受信しています。%1/%2").arg(number).arg(count);
}

} // namespace MailCheck

void CheckMail()
{
    if (g_running)
        return;
    g_running = true;
    struct Done
    {
        ~Done() { g_running = false; }
    } done;

    AccountSettings &account = AccountSettings::instance();
    MailTransport &transport = MailTransport::instance();
    // Message boxes of the check let the user act meanwhile, also close the main window.
    const QPointer<MainForm> main = Forms::mainForm();
    const auto setHelp = [&main](const QString &text) {
        if (main)
            main->Label2->setText(text);
    };

    if (account.Pop3Server.isEmpty()) {
        IncomingMail::FinishCheck(0);
        return;
    }
    const int handle = transport.NMailPop3Connect(Cp932::fromUnicode(account.Pop3Server));
    setHelp(QStringLiteral("メールのチェックをしています。"));
    if (handle < 0) {
        IncomingMail::FinishCheck(0);
        return;
    }

    // The account always comes from the file; what was typed but not saved is replaced.
    const QString idPassIni = ProgramFolder::idPassIni();
    const QString id = IdPassFile::read(idPassIni, QStringLiteral("NAME"));
    const QString password = IdPassFile::read(idPassIni, QStringLiteral("NAME2"));
    IdPassForm *dialog = Forms::idPassForm();
    dialog->IdText->setText(id);
    dialog->PassText->setText(password);
    account.AccountId = id;
    account.AccountPassword = password;

    int count = 0;
    int kept = 0;
    int deletions = 0;
    bool stopped = false;
    // Mails stored but not yet deleted on the server. They are deleted once their records are
    // on the disk, in batches, as forcing every record to the disk alone would cost more than
    // fetching it.
    QList<int> pending;
    const auto deletePending = [&]() -> bool {
        if (pending.isEmpty())
            return true;
        if (!History::FlushHistory(ProgramFolder::receivedHistory())) {
            pending.clear();
            showStoreFailure(History::lastError());
            return false;
        }
        for (int number : std::as_const(pending))
            if (transport.NMailPop3DeleteMail(handle, number) >= 0)
                ++deletions;
        kept += int(pending.size());
        pending.clear();
        return true;
    };

    if (id.isEmpty() || password.isEmpty()) {
        dialog->show();
    } else {
        Forms::tyakuForm()->clearList();
        count = transport.NMailPop3Authenticate(handle, Cp932::fromUnicode(id), Cp932::fromUnicode(password),
                                                account.UseApop != 0 ? -1 : 0);
        QElapsedTimer sinceRepaint;
        sinceRepaint.start();
        for (int number = 1; number <= count; ++number) {
            setHelp(MailCheck::progressText(number, count));
            if (number == 1 || sinceRepaint.elapsed() >= 100) {
                IncomingMail::ShowLastBody();
                repaintWindows();
                sinceRepaint.restart();
            }

            QByteArray subject, date, from, header, body;
            transport.NMailPop3GetMailStatus(handle, number, subject, date, from, header, 0);
            const int size = transport.NMailPop3GetMailSize(handle, number);
            body = QByteArray(qMax(size, 0) + 1, ' ');
            const int got = transport.NMailPop3GetMail(handle, number, subject, date, from, header, body, 0, 0);
            if (size < 0 || got < 0) {
                // Storing an empty mail and deleting the real one would lose it.
                const QString reason = TextRules::CutAtNul(Cp932::toUnicode(transport.NMailGetMessage()));
                MsgBox(QStringLiteral("メールを受信できませんでした。受信できなかったメールはサーバーに残してあります。\n")
                           + reason,
                       Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
                stopped = true;
                break;
            }

            const RetrievedMail mail{cutAtNul(subject), cutAtNul(date), cutAtNul(from), cutAtNul(header),
                                     cutAtNul(body)};
            QString problem;
            if (!IncomingMail::HandleMail(transport, handle, mail, &problem)) {
                showStoreFailure(problem);
                stopped = true;
                break;
            }
            pending.append(number);
            if (pending.size() >= kDeleteBatch && !deletePending()) {
                stopped = true;
                break;
            }
        }
        if (!deletePending())
            stopped = true;
        if (count < 0) {
            const QString reason = TextRules::CutAtNul(Cp932::toUnicode(transport.NMailGetMessage()));
            MsgBox(reason, Prompter::Buttons::Ok, Prompter::Icon::None, QStringLiteral("エラー"));
        }
    }

    const int closed = transport.NMailPop3Close(handle);
    if (closed < 0 && deletions > 0) {
        // The mails are stored, but the server keeps them: say so rather than let them come again
        // unannounced.
        const QString reason = TextRules::CutAtNul(Cp932::toUnicode(transport.NMailGetMessage()));
        MsgBox(QStringLiteral("受信したメールは保存しましたが、サーバーから削除できませんでした。"
                              "次の受信で同じメールをもう一度受信することがあります。\n")
                   + reason,
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
    IncomingMail::ShowLastBody();
    IncomingMail::EndCheck();
    // A check that stopped reports what it stored; with nothing stored the status stays.
    IncomingMail::FinishCheck(stopped ? (kept > 0 ? kept : -1) : count);
}
