// Two copies of the program, each on its own program folder: this process composes and sends
// through the compose window's controls; a second process receives through "受信" and brings out
// the dog the sender chose.
#include "SendTestSupport.h"
#include "TransportTestSupport.h"
#include "app/Forms.h"
#include "characters/DogTable.h"
#include "platform/Cp932.h"
#include "platform/IniFile.h"
#include "receive/MailScan.h"
#include "send/SendRules.h"
#include "send/WriteForm.h"
#include "store/HistoryFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The receiving copy's program folder: taro's mailbox, and dog 7 ticked for mail without a marker.
class Receiver
{
public:
    explicit Receiver(const QString &pop3)
    {
        QDir root(m_dir.path());
        for (const char *sub : {"★MailData", "添付フォルダ", "Sound"})
            root.mkdir(QString::fromUtf8(sub));
        QFile petpost(file(QStringLiteral("petpost.ini")));
        if (petpost.open(QIODevice::WriteOnly))
            petpost.write(
                QStringLiteral("SMTP=\r\nPOP3=%1\r\nMAIL=taro@example.test\r\nAPOP=0\r\n").arg(pop3).toLatin1());
        const QString ini = file(QStringLiteral("★MailData/iniIdPass.ini"));
        IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME"), QStringLiteral("taro"),
                                           ini);
        IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME2"),
                                           QStringLiteral("taro-pass-1"), ini);
        IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME7"), QStringLiteral("1"),
                                           file(QStringLiteral("★MailData/CharaData.ini")));
        servers().installTrust(file(QStringLiteral("★MailData")));
    }

    QString file(const QString &relative) const { return m_dir.path() + u'/' + relative; }

    // Runs the receiving copy once: "受信", then a look at its dogs.
    QJsonObject receive() const
    {
        QProcess peer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WANDERPUP_HOME"), m_dir.path());
        peer.setProcessEnvironment(env);
        peer.start(QStringLiteral(WANDERPUP_SEND_PEER), {});
        if (!peer.waitForFinished(60000)) {
            peer.kill(); // by its PID
            peer.waitForFinished();
        }
        return QJsonDocument::fromJson(peer.readAllStandardOutput().trimmed()).object();
    }

    QList<HistoryRecord> received() const
    {
        QList<HistoryRecord> all;
        const QString history = file(QStringLiteral("★MailData/ppdata2.data"));
        for (int n = 1; n <= History::RecordCount(history); ++n)
            all.append(*History::ReadRecord(history, n));
        return all;
    }

private:
    QTemporaryDir m_dir;
};

class Interop : public SendFixture
{
protected:
    // Composes one mail in a fresh compose window, picks the dog's option and presses "送信".
    void sendWithDog(int dog, const QString &body)
    {
        WriteForm *w = Forms::writeForm();
        w->show();
        type(w, QStringLiteral("taro@example.test"), QStringLiteral("犬%1").arg(dog), body);
        const QByteArray name = SendRules::optionOfDog(dog).name;
        QRadioButton *option = w->findChild<QRadioButton *>(QString::fromLatin1(name));
        ASSERT_TRUE(option);
        QTest::mouseClick(option, Qt::LeftButton);
        ASSERT_EQ(w->chosenDog(), dog);
        const QPointer<QWidget> window = w;
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        ASSERT_TRUE(isGone(window)) << "the compose window stayed after dog " << dog;
    }

    static QList<int> dogsOut(const QJsonObject &peer, bool *allWalk)
    {
        QList<int> dogs;
        *allWalk = true;
        for (const QJsonValue &d : peer[QStringLiteral("dogs")].toArray()) {
            dogs << d[QStringLiteral("dog")].toInt();
            *allWalk = *allWalk && d[QStringLiteral("walking")].toBool() && d[QStringLiteral("moved")].toBool();
        }
        return dogs;
    }
};

TEST_F(Interop, EachChosenDogComesOutOnTheOtherCopy)
{
    const Receiver b(pop3());

    // Ten mails, one per dog, dog 10 last: it is the one that comes out.
    for (int dog = 1; dog <= 10; ++dog)
        sendWithDog(dog, QStringLiteral("こんにちは"));
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    const QList<QByteArray> raw = servers().mails(QStringLiteral("taro"));
    ASSERT_EQ(raw.size(), 10);
    for (int dog = 1; dog <= 10; dog += 9) { // what another mail reader sees
        const QJsonObject read = readMail(raw[dog - 1]);
        EXPECT_EQ(read[QStringLiteral("subject")].toString(), QStringLiteral("犬%1").arg(dog));
        EXPECT_EQ(read[QStringLiteral("body_charset")].toString(), QStringLiteral("utf-8"));
        EXPECT_TRUE(read[QStringLiteral("body")].toString().trimmed().endsWith(MailScan::markerText(dog)));
    }

    const QJsonObject first = b.receive();
    ASSERT_FALSE(first.isEmpty()) << "the receiving copy gave no answer";
    EXPECT_TRUE(first[QStringLiteral("messages")].toArray().isEmpty());
    EXPECT_EQ(first[QStringLiteral("status")].toString(), QStringLiteral("新着メール有り。"));
    bool walk = false;
    EXPECT_EQ(dogsOut(first, &walk), QList<int>{10});
    EXPECT_TRUE(walk) << QJsonDocument(first).toJson().toStdString();
    // Every mail's marker names its dog, and through it the right dog window.
    const QList<HistoryRecord> stored = b.received();
    ASSERT_EQ(stored.size(), 10);
    for (int dog = 1; dog <= 10; ++dog) {
        const int marker = MailScan::markerNumber(stored[dog - 1].Body());
        EXPECT_EQ(marker, dog);
        EXPECT_EQ(MailScan::formForMarker(marker), DogTable::formOfDog(dog));
    }

    // "送らない": no marker, so the dog ticked on the receiving side comes out instead.
    sendWithDog(0, QStringLiteral("こんにちは"));
    const QJsonObject read = readMail(servers().mails(QStringLiteral("taro")).last());
    EXPECT_EQ(read[QStringLiteral("body_charset")].toString(), QStringLiteral("iso-2022-jp"));
    const QJsonObject second = b.receive();
    EXPECT_EQ(dogsOut(second, &walk), QList<int>{7});
    EXPECT_TRUE(walk);
    ASSERT_EQ(b.received().size(), 11);
    EXPECT_EQ(MailScan::markerNumber(b.received()[10].Body()), 0);
}

} // namespace
