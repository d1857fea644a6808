// Mail kept whole: what the history's code page 932 records cannot hold (emoji, 𠮷) travels
// through real servers, is kept byte for byte as each mail's original, and shows whole in the
// history window, the reply window and the clipboard. Other programs read the originals.
#include "SendTestSupport.h"
#include "TransportTestSupport.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/Cp932.h"
#include "send/BackForm.h"
#include "send/WriteForm.h"
#include "store/HistoryFile.h"
#include "store/Maildir.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

const QString kSubject = QStringLiteral("誕生日🎂おめでとう");
const QString kBody = QStringLiteral("お誕生日おめでとう🎉🎂 また会おうね😊\r\n𠮷野家で…");

QByteArray birthdayMail()
{
    return "From: =?UTF-8?B?" + QStringLiteral("山田花子").toUtf8().toBase64()
           + "?= <hanako@example.test>\r\n"
             "To: taro@example.test\r\n"
             "Cc: jiro@example.test\r\n"
             "Subject: =?UTF-8?B?"
           + kSubject.toUtf8().toBase64()
           + "?=\r\n"
             "Date: Wed, 09 Dec 2026 09:00:00 +0900\r\n"
             "Message-ID: <birthday@example.test>\r\n"
             "MIME-Version: 1.0\r\n"
             "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
             "\r\n"
             "--alt\r\n"
             "Content-Type: text/plain; charset=UTF-8\r\n"
             "Content-Transfer-Encoding: base64\r\n"
             "\r\n"
           + (kBody + QStringLiteral("\r\n")).toUtf8().toBase64()
           + "\r\n"
             "--alt\r\n"
             "Content-Type: text/html; charset=UTF-8\r\n"
             "\r\n"
             "<p>"
           + kBody.toUtf8()
           + "</p>\r\n"
             "--alt--\r\n";
}

// Only an HTML part, with an emoji written as a character reference.
QByteArray htmlOnlyMail()
{
    return "From: news@example.org\r\n"
           "To: taro@example.test\r\n"
           "Subject: News\r\n"
           "Date: Wed, 09 Dec 2026 10:00:00 +0900\r\n"
           "Message-ID: <news@example.org>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/html; charset=UTF-8\r\n"
           "\r\n"
           "<html><body><p>&#x1F431; \xE7\x8C\xAB\xE3\x81\xAE\xE6\x97\xA5</p></body></html>\r\n";
}

QJsonArray readMaildir(const QString &folder)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(WANDERPUP_READ_MAILDIR), folder});
    reader.waitForFinished(20000);
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
}

QStringList originalFiles(const TempProgramFolder &folder, const QString &maildir)
{
    return QDir(folder.file(QStringLiteral("★MailData/") + maildir + QStringLiteral("/cur")))
        .entryList(QDir::Files, QDir::Name);
}

QString lf(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

class KeptWhole : public SendFixture
{
protected:
    // An original as it travelled; its file has LF line ends, as mail readers expect (mutt
    // shows a CR before a line end as "^M").
    QByteArray kept(const QString &original)
    {
        const QString path = folder.file(QStringLiteral("★MailData/") + original);
        EXPECT_FALSE(folder.read(QStringLiteral("★MailData/") + original).contains('\r')) << original.toStdString();
        return Maildir::read(path).value_or(QByteArray());
    }
    void clickRow(TyakuForm *history, int row)
    {
        const QRect rect = history->MailListView->visualRect(history->mailList->index(row, 0));
        QTest::mouseClick(history->MailListView->viewport(), Qt::LeftButton, {}, rect.center());
    }
};

TEST_F(KeptWhole, EmojiAndRareKanjiTravelWholeBothWays)
{
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), birthdayMail()));
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), htmlOnlyMail()));
    MainForm *main = Forms::mainForm();
    main->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);

    // The record keeps its format and what code page 932 holds; the original keeps every byte.
    const QByteArray history = folder.read(QStringLiteral("★MailData/ppdata2.data"));
    ASSERT_EQ(history.size(), 2 * HistoryRecord::Size);
    EXPECT_TRUE(Cp932::toUnicode(history.left(100)).startsWith(QStringLiteral("誕生日〓おめでとう")));
    const QStringList received = originalFiles(folder, QStringLiteral("Received"));
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(kept(QStringLiteral("Received/cur/") + received[0]), birthdayMail());
    EXPECT_EQ(kept(QStringLiteral("Received/cur/") + received[1]), htmlOnlyMail());
    const QJsonArray box = readMaildir(folder.file(QStringLiteral("★MailData/Received")));
    ASSERT_EQ(box.size(), 2);
    EXPECT_EQ(box[0][QStringLiteral("subject")].toString(), kSubject);
    EXPECT_EQ(box[0][QStringLiteral("message_id")].toString(), QStringLiteral("<birthday@example.test>"));

    // Shown whole: the list row, the boxes, the editor, the clipboard.
    TyakuForm *window = Forms::tyakuForm();
    window->OpenHistory(1);
    EXPECT_EQ(window->mailList->text(0, 0).trimmed(), kSubject);
    EXPECT_TRUE(window->rtfEd->toPlainText().contains(QStringLiteral("🐱 猫の日"))); // the last one, from HTML
    clickRow(window, 0);
    EXPECT_EQ(window->Text7->text(), kSubject);
    EXPECT_EQ(window->Text8->text(), QStringLiteral("山田花子 <hanako@example.test>"));
    EXPECT_EQ(lf(window->bodyText()).trimmed(), lf(kBody));
    EXPECT_EQ(lf(QGuiApplication::clipboard()->text()).trimmed(), lf(kBody));

    // The reply carries it, and goes out as UTF-8 since ISO-2022-JP cannot.
    window->Command4->click();
    BackForm *reply = Forms::existingBackForm();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->SubjectText->text(), QStringLiteral("Re:  ") + kSubject);
    QGuiApplication::clipboard()->setText(QStringLiteral("ありがとう🙏"));
    reply->Command4->click(); // "本文に貼付": the clipboard, then the answered mail
    EXPECT_TRUE(reply->bodyText().contains(QStringLiteral("𠮷野家で"))) << reply->bodyText().toStdString();
    reply->Command2->click();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    const QList<QByteArray> answered = servers().mails(QStringLiteral("hanako"));
    ASSERT_EQ(answered.size(), 1);
    const QJsonObject read = readMail(answered[0]);
    EXPECT_EQ(read[QStringLiteral("subject")].toString(), QStringLiteral("Re:  ") + kSubject);
    EXPECT_EQ(read[QStringLiteral("body_charset")].toString(), QStringLiteral("utf-8"));
    EXPECT_TRUE(read[QStringLiteral("body")].toString().startsWith(QStringLiteral("ありがとう🙏")));
    EXPECT_TRUE(read[QStringLiteral("body")].toString().contains(QStringLiteral("𠮷野家で")));

    // A new mail with emoji: kept exactly as the server took it, shown whole in the sent history.
    WriteForm *compose = Forms::writeForm();
    compose->show();
    type(compose, QStringLiteral("taro@example.test"), QStringLiteral("お礼🎁"), QStringLiteral("𠮷田さんへ🌸\n"));
    compose->Command1->click();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    const QList<QByteArray> delivered = servers().mails(QStringLiteral("taro"));
    ASSERT_EQ(delivered.size(), 1);
    const QStringList sent = originalFiles(folder, QStringLiteral("Sent"));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(kept(QStringLiteral("Sent/cur/") + sent[0]), delivered[0]);
    EXPECT_EQ(readMaildir(folder.file(QStringLiteral("★MailData/Sent")))[0][QStringLiteral("subject")].toString(),
              QStringLiteral("お礼🎁"));
    window->OpenHistory(2);
    EXPECT_EQ(window->Text7->text(), QStringLiteral("お礼🎁"));
    EXPECT_EQ(lf(window->bodyText()).trimmed(), QStringLiteral("𠮷田さんへ🌸")); // as typed, without the extras
    EXPECT_TRUE(Cp932::toUnicode(sentHistory().left(100)).startsWith(QStringLiteral("お礼〓")));
}

TEST_F(KeptWhole, DeletingRecordsDeletesTheirOriginalsAndKeepsTheRestPaired)
{
    for (const char *subject : {"one 🍎", "two 🍐", "three 🍊"})
        ASSERT_TRUE(servers().addMail(QStringLiteral("taro"),
                                      "From: a@example.org\r\nSubject: =?UTF-8?B?" + QByteArray(subject).toBase64()
                                          + "?=\r\nMessage-ID: <" + QByteArray(subject).left(3)
                                          + "@example.org>\r\n\r\nbody\r\n"));
    Forms::mainForm()->receiveCommand();
    ASSERT_EQ(originalFiles(folder, QStringLiteral("Received")).size(), 3);

    TyakuForm *window = Forms::tyakuForm();
    window->OpenHistory(1);
    clickRow(window, 1);
    window->Command1->click(); // "１件削除", answered Yes
    ASSERT_EQ(window->rowCount(), 2);
    const QJsonArray left = readMaildir(folder.file(QStringLiteral("★MailData/Received")));
    ASSERT_EQ(left.size(), 2);
    EXPECT_EQ(left[0][QStringLiteral("subject")].toString(), QStringLiteral("one 🍎"));
    EXPECT_EQ(left[1][QStringLiteral("subject")].toString(), QStringLiteral("three 🍊"));
    // The record after the deleted one still finds its own original.
    EXPECT_EQ(window->mailList->text(1, 0).trimmed(), QStringLiteral("three 🍊"));
    clickRow(window, 1);
    EXPECT_EQ(window->Text7->text(), QStringLiteral("three 🍊"));

    window->Command5->click(); // "全件削除"
    EXPECT_TRUE(originalFiles(folder, QStringLiteral("Received")).isEmpty());
    EXPECT_EQ(QFileInfo(folder.file(QStringLiteral("★MailData/ppdata2-originals.data"))).size(), 0);
}

} // namespace
