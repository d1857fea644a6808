// "送信" of the compose window: each mail is written to the sent history as typed, then goes out
// with its extra.
#include "WriteForm.h"

#include "BulkList.h"
#include "SendCall.h"
#include "SendRules.h"
#include "addressbook/AddressBookFile.h"
#include "app/AccountSettings.h"
#include "app/MainForm.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "store/HistoryFile.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QString kSending = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
const QString kSent = QStringLiteral("送信完了です。");

} // namespace

bool WriteForm::takeTypedRecipients()
{
    QString to = ToText->toPlainText();
    const bool ready = SendCall::recipientsReady(to);
    if (to != ToText->toPlainText())
        ToText->setPlainText(to);
    return ready;
}

void WriteForm::sendCommand()
{
    if (m_sending)
        return;
    m_sending = true;
    // At most one extra goes out, also when the choice came faster than the timer.
    applyExclusivity();
    if (!Option[2]->isChecked() && !takeTypedRecipients()) {
        m_sending = false;
        return;
    }

    // 1.
    Command9->setEnabled(false);
    List2->hide();
    AttachCommand->setEnabled(true);
    setStatus(kSending);

    const AccountSettings &account = AccountSettings::instance();
    const bool bulk = Option[2]->isChecked();
    const int dog = chosenDog();
    const bool fortune = Check1->isChecked();
    const QString to = SendRules::withCrLf(ToText->toPlainText());
    const QString subject = SubjectText->text();
    const QString body = SendRules::withCrLf(BodyText->toPlainText());
    const QString attachments = AttachText->text();
    const QString sentHistory = ProgramFolder::sentHistory();

    // Records a crash lost are written back first, so that the new ones pair with their mails.
    Outbox::recoverSent();

    // 2. One mail, or one per list entry that has an address in the book.
    BulkList::Plan plan;
    if (bulk)
        plan = BulkList::plan(AddressBook::BookFile(), m_entryRecords);
    else
        plan.mails.append({0, 0, to});
    const int count = int(plan.mails.size());

    QList<int> failedEntries;
    bool stopped = false;
    {
        SendCall call;
        if (count > 0 && !SendCall::attachmentsReady(attachments)) {
            stopped = true;
        }
        bool recordFailureAccepted = false;
        for (int i = 0; i < count && !stopped; ++i) {
            const BulkList::Recipient &recipient = plan.mails[i];
            setStatus(bulk ? kSending + QStringLiteral("（%1/%2）").arg(i + 1).arg(count) : kSending);

            // 3. The record holds the mail as typed, before the extras.
            // The clock box may stand still (a check without mail stops it): the time is taken now.
            const QString date = Clock::text(QDateTime::currentDateTime());
            const HistoryRecord record = SendRules::sentRecord(subject, date, to, body);
            const int recordNumber =
                History::AppendRecord(sentHistory, record, bulk ? History::Flush::Later : History::Flush::Now);
            if (recordNumber == 0 && !recordFailureAccepted) {
                const int answer =
                    MsgBox(QStringLiteral("送信履歴に記録できませんでした。\r\n%1\r\nこのまま送信しますか？")
                               .arg(History::lastError()),
                           Prompter::Buttons::YesNo, Prompter::Icon::Exclamation);
                if (answer != Prompter::Yes) {
                    stopped = true;
                    break;
                }
                recordFailureAccepted = true;
            }

            // 4, 5. The fortune or the dog marker goes out, the typed body stays as it is.
            const int k = fortune ? SendRules::drawFortune() : 0;
            const Outbox::Mail mail{account.SmtpServer,
                                    recipient.address,
                                    account.MailAddress,
                                    subject,
                                    SendRules::outgoingBody(body, k, dog),
                                    attachments};
            // 6, 7.
            if (!call.send(mail, recordNumber))
                failedEntries.append(recipient.entry);
        }
        if (bulk && count > 0 && !History::FlushHistory(sentHistory) && !recordFailureAccepted)
            MsgBox(QStringLiteral("送信履歴に記録できませんでした。\r\n") + History::lastError(), Prompter::Buttons::Ok,
                   Prompter::Icon::Exclamation);
        const int skipped = plan.beyondBook + plan.withoutAddress;
        if (skipped > 0 && !stopped)
            MsgBox(QStringLiteral("アドレス帳にメールアドレスのない%1件には送信しませんでした。").arg(skipped),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
    m_sending = false;

    if (stopped) {
        setStatus(QStringLiteral("送信を中止しました。"));
        return;
    }
    if (failedEntries.isEmpty()) {
        setStatus(kSent);
        close();
        return;
    }
    // What failed stays, so that the user can mend it and send again.
    if (bulk) {
        keepFailedEntries(failedEntries);
        setStatus(QStringLiteral("送信できなかった%1件が一覧に残っています。").arg(failedEntries.size()));
    } else {
        setStatus(QStringLiteral("送信できませんでした。"));
    }
}
