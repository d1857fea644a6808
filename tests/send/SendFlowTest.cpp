// "送信" of the compose window and the reply window, against the real SMTP and POP3 servers;
// what went out is read back by an independent reader (Python's email package).
#include "SendTestSupport.h"
#include "TransportTestSupport.h"
#include "addressbook/AddressBookFile.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "platform/RandomSource.h"
#include "send/BackForm.h"
#include "send/SendRules.h"
#include "send/WriteForm.h"
#include "store/HistoryFile.h"
#include "transport/MailTransport.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

namespace {

class SendFlow : public SendFixture
{
protected:
    QList<HistoryRecord> sentRecords() const
    {
        QList<HistoryRecord> all;
        const QByteArray bytes = sentHistory();
        for (qsizetype at = 0; at + HistoryRecord::Size <= bytes.size(); at += HistoryRecord::Size)
            all.append(HistoryRecord::fromBytes(bytes.mid(at, HistoryRecord::Size)));
        return all;
    }
};

QString lf(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

TEST_F(SendFlow, FortuneGoesOutAndTheRecordKeepsTheBodyAsTyped)
{
    RandomSource::pin([] { return 0.5; }); // fortune 7
    WriteForm *w = Forms::writeForm();
    w->show();
    type(w, QStringLiteral("taro@example.test"), QStringLiteral("今日の占い"), QStringLiteral("  今日の運勢です\n"));
    w->Check1->setChecked(true);
    const QPointer<QWidget> window = w;
    w->Command1->click();
    RandomSource::unpin();

    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    EXPECT_TRUE(isGone(window));
    const QList<QByteArray> mails = servers().mails(QStringLiteral("taro"));
    ASSERT_EQ(mails.size(), 1);
    const QJsonObject read = readMail(mails[0]);
    EXPECT_EQ(read[QStringLiteral("subject")].toString(), QStringLiteral("今日の占い"));
    EXPECT_EQ(read[QStringLiteral("from")].toString(), QStringLiteral("hanako@example.test"));
    EXPECT_EQ(read[QStringLiteral("body_charset")].toString(), QStringLiteral("iso-2022-jp"));
    EXPECT_EQ(lf(read[QStringLiteral("body")].toString()).trimmed(),
              lf(SendRules::outgoingBody(QStringLiteral("  今日の運勢です\r\n"), 7, 0)).trimmed());

    const QList<HistoryRecord> records = sentRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].Subject().trimmed(), QStringLiteral("今日の占い"));
    EXPECT_EQ(records[0].Address().trimmed(), QStringLiteral("taro@example.test"));
    EXPECT_EQ(records[0].Body().trimmed(), QStringLiteral("今日の運勢です"));
    EXPECT_TRUE(records[0].Body().startsWith(QStringLiteral("今日の運勢です\r\n ")));
}

TEST_F(SendFlow, SentRecordCarriesTheTimeOfSendingAfterACheckWithoutMail)
{
    // A check that finds no mail stops the clock box; it then shows a time long past.
    MainForm *main = Forms::mainForm();
    main->receiveCommand();
    ASSERT_EQ(main->Text1->text(), QStringLiteral("新着メール無し。"));
    ASSERT_FALSE(main->Timer1->isActive());
    main->Text2->setText(Clock::text(QDateTime::currentDateTime().addSecs(-3600)));
    const QString stale = main->Text2->text();

    WriteForm *w = Forms::writeForm();
    type(w, QStringLiteral("taro@example.test"), QStringLiteral("時刻"), QStringLiteral("本文"));
    const QDateTime before = QDateTime::currentDateTime();
    w->Command1->click();
    const QDateTime after = QDateTime::currentDateTime();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();

    const QByteArray date = sentHistory().mid(100, 90);
    const QStringList sendingTimes = {Clock::text(before), Clock::text(after)};
    EXPECT_TRUE(sendingTimes.contains(Cp932::toUnicode(date).trimmed())) << date.toStdString();
    EXPECT_EQ(main->Text2->text(), stale); // the stopped clock stays as it is
}

TEST_F(SendFlow, BulkSendReachesEveryBookEntryInOrderAndKeepsTheOneThatFailed)
{
    const QString book = AddressBook::BookFile();
    const char *addresses[] = {"taro@example.test", "nobody@example.test", "hanako@example.test", "jiro@example.test"};
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(AddressBook::WriteAddressRecord(book, n, QStringLiteral("名前%1").arg(n),
                                                    QString::fromLatin1(addresses[n - 1])));
    WriteForm *w = Forms::writeForm();
    w->Command4->click();
    ASSERT_EQ(w->List1->count(), 4);
    w->Option[2]->click();
    type(w, QStringLiteral("皆さんへ"), QStringLiteral("お知らせ"), QStringLiteral("忘年会のお知らせです。"));
    // Progress shows in the status line while the mails go out.
    QStringList progress;
    prompter.onMessage = [&](const ScriptedPrompter::Message &) { progress << w->Label7->text(); };
    w->Command1->click();

    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("送信エラー"));
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::None);
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("nobody@example.test")))
        << prompter.messages[0].text.toStdString();
    EXPECT_TRUE(progress.contains(QStringLiteral("メールを送信中です。しばらくお待ち下さい。（2/4）")));

    // One mail each, in the order of the book.
    const QStringList taro = deliveries(QStringLiteral("taro")), hanako = deliveries(QStringLiteral("hanako")),
                      jiro = deliveries(QStringLiteral("jiro"));
    ASSERT_EQ(taro.size(), 1);
    ASSERT_EQ(hanako.size(), 1);
    ASSERT_EQ(jiro.size(), 1);
    EXPECT_LT(taro[0], hanako[0]);
    EXPECT_LT(hanako[0], jiro[0]);
    const QJsonObject read = readMail(servers().mails(QStringLiteral("jiro"))[0]);
    EXPECT_EQ(read[QStringLiteral("to")].toArray().first().toString(), QStringLiteral("jiro@example.test"));
    EXPECT_EQ(lf(read[QStringLiteral("body")].toString()).trimmed(), QStringLiteral("忘年会のお知らせです。"));

    // A record per mail, each with the To text; the failed entry stays for another try.
    const QList<HistoryRecord> records = sentRecords();
    ASSERT_EQ(records.size(), 4);
    for (const HistoryRecord &r : records)
        EXPECT_EQ(r.Address().trimmed(), QStringLiteral("皆さんへ"));
    ASSERT_FALSE(isGone(w));
    ASSERT_EQ(w->List1->count(), 1);
    EXPECT_EQ(w->entryRecords(), QList<int>{2});
    EXPECT_EQ(w->Text1->text(), QStringLiteral("1"));
    EXPECT_TRUE(w->Option[2]->isChecked());
    EXPECT_EQ(w->Label7->text(), QStringLiteral("送信できなかった1件が一覧に残っています。"));
    EXPECT_EQ(w->BodyText->toPlainText(), QStringLiteral("忘年会のお知らせです。"));
}

TEST_F(SendFlow, AFailedMailStaysInTheWindowUntilItGoesOut)
{
    WriteForm *w = Forms::writeForm();
    type(w, QStringLiteral("taro@example.test"), QStringLiteral("写真"), QStringLiteral("写真を送ります。"));
    w->Option[7]->click(); // dog 5

    // An unreachable server, then a recipient the server refuses.
    useServers(QStringLiteral("127.0.0.1:1"), pop3(), QStringLiteral("hanako@example.test"));
    w->Command1->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("SMTPサーバー「127.0.0.1:1」に接続できません。")))
        << prompter.messages[0].text.toStdString();
    useServers(smtp(), pop3(), QStringLiteral("hanako@example.test"));
    w->ToText->setPlainText(QStringLiteral("nobody@example.test"));
    w->Command1->click();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].title, QStringLiteral("送信エラー"));
    ASSERT_FALSE(isGone(w));
    EXPECT_EQ(w->BodyText->toPlainText(), QStringLiteral("写真を送ります。")); // no marker added
    EXPECT_EQ(w->chosenDog(), 5);
    EXPECT_EQ(w->Label7->text(), QStringLiteral("送信できませんでした。"));
    EXPECT_EQ(sentHistory().size(), 2 * HistoryRecord::Size);

    // An attachment that is not there: nothing goes out, nothing is recorded.
    const QString folderWithSpaces = folder.file(QStringLiteral("添付フォルダ/旅行 2026"));
    ASSERT_TRUE(QDir().mkpath(folderWithSpaces));
    const QString photo = folderWithSpaces + QStringLiteral("/海の写真 1.txt");
    folder.write(QStringLiteral("添付フォルダ/旅行 2026/海の写真 1.txt"), "sea\r\n");
    w->ToText->setPlainText(QStringLiteral("taro@example.test"));
    w->AttachText->setText(photo + QStringLiteral(",") + folderWithSpaces + QStringLiteral("/ない.txt"));
    w->Command1->click();
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[2].text,
              QStringLiteral("添付ファイル「%1/ない.txt」が見つかりません。").arg(folderWithSpaces));
    EXPECT_EQ(sentHistory().size(), 2 * HistoryRecord::Size);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);

    // Mended, it goes out and the window closes.
    w->AttachText->setText(photo);
    w->Command1->click();
    ASSERT_EQ(prompter.messages.size(), 3u) << prompter.messages.back().text.toStdString();
    EXPECT_TRUE(isGone(w));
    const QList<QByteArray> mails = servers().mails(QStringLiteral("taro"));
    ASSERT_EQ(mails.size(), 1);
    const QJsonObject read = readMail(mails[0]);
    EXPECT_EQ(read[QStringLiteral("subject")].toString(), QStringLiteral("写真"));
    EXPECT_EQ(read[QStringLiteral("body_charset")].toString(), QStringLiteral("utf-8")); // ⑤ is not in JIS
    EXPECT_TRUE(lf(read[QStringLiteral("body")].toString())
                    .trimmed()
                    .endsWith(QStringLiteral("写真を送ります。\n\n\n\nWanderpup（⑤の選択）")));
    EXPECT_FALSE(read[QStringLiteral("date")].toString().isEmpty());
    const QJsonArray attachments = read[QStringLiteral("attachments")].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments[0].toObject()[QStringLiteral("name")].toString(), QStringLiteral("海の写真 1.txt"));
    EXPECT_EQ(sentHistory().size(), 3 * HistoryRecord::Size);
}

TEST_F(SendFlow, WindowsKeepWorkingDuringTheDialogueAndACloseWaitsForItsEnd)
{
    SilentServer silent; // accepts and never answers
    MailTransport::instance().setTimeout(1500);
    useServers(QStringLiteral("127.0.0.1:%1").arg(silent.port()), pop3(), QStringLiteral("hanako@example.test"));
    WriteForm *w = Forms::writeForm();
    w->show();
    type(w, QStringLiteral("taro@example.test"), QStringLiteral("件名"), QStringLiteral("本文"));
    // Queued before the click, run while the server keeps silent: the close box pressed then.
    bool ranDuringSend = false;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            ranDuringSend = true;
            w->close();
        },
        Qt::QueuedConnection);
    const QPointer<QWidget> window = w;
    w->Command1->click();
    MailTransport::instance().setTimeout(15000);

    EXPECT_TRUE(ranDuringSend);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("送信エラー"));
    ASSERT_FALSE(window.isNull()); // the send ended before the close
    EXPECT_EQ(w->Label7->text(), QStringLiteral("送信できませんでした。"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(isGone(window));
}

TEST_F(SendFlow, WithoutTheDataFolderTheUserDecidesWhetherToSendUnrecorded)
{
    useServers(QStringLiteral("smtp+plain://127.0.0.1:%1").arg(servers().smtpPlainPort()), pop3(),
               QStringLiteral("hanako@example.test"));
    ASSERT_TRUE(QDir(folder.file(QStringLiteral("★MailData"))).removeRecursively());
    WriteForm *w = Forms::writeForm();
    type(w, QStringLiteral("taro@example.test"), QStringLiteral("件名"), QStringLiteral("本文"));
    prompter.answers = {Prompter::No};
    w->Command1->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("送信履歴に記録できませんでした。")));
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);
    ASSERT_FALSE(isGone(w));

    w->Command1->click(); // Yes: the mail matters more than its copy
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 1);
    EXPECT_TRUE(isGone(w));
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("★MailData"))));
}

TEST_F(SendFlow, ReplyToAReceivedMailIsReadBackFromTheServer)
{
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"),
                                  "From: Hanako <hanako@example.test>\r\n"
                                  "To: taro@example.test\r\n"
                                  "Message-ID: <answered@example.test>\r\n"
                                  "References: <first@example.test>\r\n <second@example.test>\r\n"
                                  "Subject: =?UTF-8?B?"
                                      + QStringLiteral("会議の件").toUtf8().toBase64()
                                      + "?=\r\n"
                                        "Date: Tue, 08 Dec 2026 10:00:00 +0900\r\n"
                                        "MIME-Version: 1.0\r\n"
                                        "Content-Type: text/plain; charset=UTF-8\r\n"
                                        "Content-Transfer-Encoding: base64\r\n\r\n"
                                      + QStringLiteral("明日は十時からです。\r\n").toUtf8().toBase64() + "\r\n"));
    MainForm *main = Forms::mainForm();
    main->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();

    TyakuForm *history = Forms::tyakuForm();
    history->OpenHistory(2);
    history->Text5->setText(QStringLiteral("x"));
    history->Command4->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("自分宛となっています。"));
    history->OpenHistory(1);
    // A marker left from the other history names no mail the user picked here.
    history->Command4->click();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text, QStringLiteral("データが選択されていません"));
    EXPECT_EQ(Forms::existingBackForm(), nullptr);

    const QRect row = history->MailListView->visualRect(history->mailList->index(0, 0));
    QTest::mouseClick(history->MailListView->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_FALSE(history->Text5->text().isEmpty());
    history->Command4->click();
    BackForm *reply = Forms::existingBackForm();
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->isVisible());
    EXPECT_TRUE(history->Text5->text().isEmpty());
    EXPECT_EQ(reply->SubjectText->text(), QStringLiteral("Re:  会議の件"));
    EXPECT_EQ(reply->ToText->text(), QStringLiteral("Hanako <hanako@example.test>"));
    EXPECT_EQ(reply->bodyText(), QStringLiteral("明日は十時からです。\r\n")); // only spaces are trimmed
    EXPECT_EQ(reply->answeredBody().trimmed(), QStringLiteral("明日は十時からです。"));

    // A reply that fails stays as typed.
    reply->setBodyText(QStringLiteral("了解しました。\r\n"));
    reply->ToText->setText(QStringLiteral("nobody@example.test"));
    reply->Command2->click();
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[2].title, QStringLiteral("送信エラー"));
    ASSERT_FALSE(isGone(reply));
    EXPECT_EQ(reply->bodyText(), QStringLiteral("了解しました。\r\n"));

    // A character no address has is named; full-width letters are what the user meant.
    reply->ToText->setText(QStringLiteral("hanako@example.test、taro@example.test"));
    reply->Command2->click();
    ASSERT_EQ(prompter.messages.size(), 4u);
    EXPECT_EQ(prompter.messages[3].text, QStringLiteral("「宛先」の「hanako@example.test、taro@example.test」は使えません。\r\n"
                                                        "メールアドレスに使えない文字（「、」）が含まれています。"
                                                        "宛先を並べるときは「,」で区切って下さい。"));
    ASSERT_FALSE(isGone(reply));
    reply->ToText->setText(QStringLiteral("Hanako <ｈａｎａｋｏ＠ｅｘａｍｐｌｅ．ｔｅｓｔ>"));
    reply->Command2->click();
    ASSERT_EQ(prompter.messages.size(), 4u) << prompter.messages.back().text.toStdString();
    EXPECT_TRUE(isGone(reply));
    const QList<QByteArray> mails = servers().mails(QStringLiteral("hanako"));
    ASSERT_EQ(mails.size(), 1);
    const QJsonObject read = readMail(mails[0]);
    EXPECT_EQ(read[QStringLiteral("subject")].toString(), QStringLiteral("Re:  会議の件"));
    EXPECT_EQ(read[QStringLiteral("to")].toArray().first().toString(), QStringLiteral("hanako@example.test"));
    EXPECT_EQ(lf(read[QStringLiteral("body")].toString()).trimmed(), QStringLiteral("了解しました。"));
    EXPECT_TRUE(sentHistory().isEmpty()); // a reply is not recorded
    // In the thread of the mail it answers, as the original of that mail says.
    EXPECT_EQ(read[QStringLiteral("in_reply_to")].toString(), QStringLiteral("<answered@example.test>"));
    EXPECT_EQ(read[QStringLiteral("references")].toString(),
              QStringLiteral("<first@example.test> <second@example.test> <answered@example.test>"));
}

} // namespace
