// The power goes at a step of storing, and whatever was not yet made durable is lost, as on a
// real machine: the program runs in a process of its own on powercutfs, which forgets at the cut
// every write, name and removal that no fsync, fdatasync or folder sync took to the disk, and
// holds the program still until it is killed. Then the program starts again and checks again:
// the mailbox is empty, every mail is in the history exactly once, each record with its own
// original, byte for byte. For receiving, for a check that finishes what a cut one left, and for
// sending. Against the real Dovecot and SMTP servers of tests/servers.
#include "MailServers.h"
#include "ScriptedPrompter.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "send/WriteForm.h"
#include "store/HistoryFile.h"
#include "store/Maildir.h"
#include "store/Originals.h"
#include "transport/MailTransport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

MailServers &servers()
{
    static MailServers s;
    return s;
}

// powercutfs mounted on a folder of the test, driven through its standard input.
class PowerCutFs
{
public:
    PowerCutFs()
    {
        m_mount = m_dir.path() + QStringLiteral("/mnt");
        QDir().mkpath(m_mount);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Room for a thread for every operation a cut holds, and for those that come meanwhile.
        m_process.start(QStringLiteral(WANDERPUP_POWERCUTFS),
                        {m_mount, QStringLiteral("-f"), QStringLiteral("-o"),
                         QStringLiteral("max_threads=64,max_idle_threads=16,auto_unmount")});
        m_ok = m_process.waitForStarted(5000) && nextLine(10000) == QStringLiteral("ready");
    }
    ~PowerCutFs()
    {
        m_process.closeWriteChannel(); // it unmounts and ends
        if (!m_process.waitForFinished(10000)) {
            QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"), m_mount});
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool ok() const { return m_ok; }
    QString error() const { return m_process.errorString(); }
    const QString &mount() const { return m_mount; }

    // A command, and the first line of its answer.
    QString ask(const QString &command)
    {
        m_process.write(command.toUtf8() + '\n');
        return nextLine(10000);
    }
    QStringList ops()
    {
        QStringList lines;
        for (QString line = ask(QStringLiteral("ops")); !line.isEmpty() && line != QStringLiteral("end");
             line = nextLine(5000))
            lines.append(line);
        return lines;
    }
    // The next line it says, waiting up to `ms`; empty when none came.
    QString nextLine(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return QString();
            m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

private:
    QTemporaryDir m_dir;
    QString m_mount;
    QProcess m_process;
    bool m_ok = false;
};

// Where the power goes: right before or right after the n-th operation of one of `kinds` on a
// path that contains `pattern` (ending with it, with a trailing "$").
struct Point
{
    const char *when;
    const char *kinds;
    const char *pattern;
    int n;
    bool fresh = false; // in a program folder that has never stored anything

    QString command() const { return QStringLiteral("cut %1 %2 %3 %4").arg(when, kinds, pattern).arg(n); }
};

QByteArray attachment(int n) { return QByteArray(3000, char('a' + n % 26)); }

// Mail n: plain text; with a file (every third from 2); or too long for a record's body (every
// third from 3), kept whole beside the attachments.
QByteArray numberedMail(int n)
{
    QByteArray mail = "From: sender@example.org\r\nTo: taro@example.test\r\nSubject: mail " + QByteArray::number(n)
                      + "\r\nDate: Thu, 10 Dec 2026 12:00:00 +0900\r\nMessage-ID: <p" + QByteArray::number(n)
                      + "@example.org>\r\nMIME-Version: 1.0\r\n";
    if (n % 3 == 1)
        return mail + "Content-Type: text/plain; charset=us-ascii\r\n\r\nmail number " + QByteArray::number(n) + "\r\n";
    if (n % 3 == 0)
        return mail + "Content-Type: text/plain; charset=us-ascii\r\n\r\n"
               + QByteArray("a long line of a long mail\r\n").repeated(1500) + "end of mail " + QByteArray::number(n)
               + "\r\n";
    return mail + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
           + "--b\r\nContent-Type: text/plain\r\n\r\nsee file\r\n"
           + "--b\r\nContent-Type: application/octet-stream; name=\"f" + QByteArray::number(n)
           + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + attachment(n).toBase64() + "\r\n--b--\r\n";
}

class PowerCut : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(QStringLiteral("/dev/fuse")))
            GTEST_SKIP() << "no /dev/fuse here: the power cannot be cut";
        ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
        ASSERT_TRUE(fs.ok()) << fs.error().toStdString();
        MailTransport::instance().setTimeout(15000);
        servers().clearMails(QStringLiteral("taro"));
        servers().clearMails(QStringLiteral("jiro"));
    }
    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
        qunsetenv("WANDERPUP_HOME");
    }

    // A new program folder on the file system that forgets, set up and made durable.
    void newProgramFolder()
    {
        Forms::destroyAll();
        home = fs.mount() + QStringLiteral("/home%1").arg(++homes);
        for (const char *folder : {"", "/★MailData", "/添付フォルダ", "/Sound"})
            ASSERT_TRUE(QDir().mkpath(home + QString::fromUtf8(folder)));
        qputenv("WANDERPUP_HOME", QFile::encodeName(home));
        QFile petpost(home + QStringLiteral("/petpost.ini"));
        ASSERT_TRUE(petpost.open(QIODevice::WriteOnly));
        petpost.write(QStringLiteral("SMTP=127.0.0.1:%1\r\nPOP3=127.0.0.1:%2\r\nMAIL=taro@example.test\r\nAPOP=0\r\n")
                          .arg(servers().smtpPort())
                          .arg(servers().pop3Port())
                          .toLatin1());
        petpost.close();
        AccountSettings::instance() = AccountSettings();
        Petpost::load(petpost.fileName(), AccountSettings::instance());
        const QString idPass = ProgramFolder::idPassIni();
        ASSERT_TRUE(IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME"),
                                                       QStringLiteral("taro"), idPass));
        ASSERT_TRUE(IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME2"),
                                                       QStringLiteral("taro-pass-1"), idPass));
        ASSERT_TRUE(servers().installTrust(ProgramFolder::dataFolder()));
        ASSERT_EQ(fs.ask(QStringLiteral("durable")), QStringLiteral("ok"));
        served.clear();
        attempted.clear();
        finished.clear();
    }

    void addMails(int count)
    {
        for (int i = 0; i < count; ++i) {
            const int n = ++mails;
            ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), numberedMail(n)));
            served.insert(QStringLiteral("mail %1").arg(n), numberedMail(n));
        }
    }

    static void start(QProcess &peer, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        peer.setProcessEnvironment(env);
        peer.start(QStringLiteral(WANDERPUP_POWERCUT_PEER), arguments);
        EXPECT_TRUE(peer.waitForStarted(10000));
    }

    // The program in its own process, with the power going at `point`. True when it went there.
    bool runUntilCut(const Point &point, const QStringList &arguments)
    {
        EXPECT_EQ(fs.ask(point.command()), QStringLiteral("armed"));
        QProcess peer;
        start(peer, arguments);
        bool cut = false;
        QDeadlineTimer deadline(90000);
        while (!cut && !deadline.hasExpired() && !peer.waitForFinished(10))
            cut = fs.nextLine(10).startsWith(QStringLiteral("cut "));
        if (!cut)
            cut = fs.nextLine(10).startsWith(QStringLiteral("cut ")); // the last step of all
        if (cut) {
            ::kill(pid_t(peer.processId()), SIGKILL);
            peer.waitForFinished(20000);
        } else {
            ADD_FAILURE() << "the program never came to " << point.command().toStdString() << "; it did:\n"
                          << fs.ops().join(u'\n').toStdString() << "\n"
                          << peer.readAllStandardOutput().toStdString();
            peer.waitForFinished(20000);
        }
        EXPECT_EQ(fs.ask(QStringLiteral("power")), QStringLiteral("on"));
        return cut;
    }

    // The program in its own process, to its end; the texts of its message boxes.
    QStringList run(const QStringList &arguments)
    {
        QProcess peer;
        start(peer, arguments);
        EXPECT_TRUE(peer.waitForFinished(90000));
        EXPECT_EQ(peer.exitCode(), 0);
        QStringList texts;
        const QJsonArray messages =
            QJsonDocument::fromJson(peer.readAllStandardOutput()).object().value(QStringLiteral("messages")).toArray();
        for (const QJsonValue &m : messages)
            texts.append(m.toString());
        return texts;
    }

    // Started again on what the disk kept: a mail check, or a send, in this process.
    void checkAgain()
    {
        Forms::destroyAll();
        prompter.messages.clear();
        Forms::mainForm()->receiveCommand();
        for (const ScriptedPrompter::Message &m : prompter.messages)
            ADD_FAILURE() << "message after the power came back: " << m.text.toStdString();
        Forms::destroyAll();
    }
    void send(const QString &subject)
    {
        Forms::destroyAll();
        prompter.messages.clear();
        attempted.insert(subject);
        finished.insert(subject);
        WriteForm *compose = Forms::writeForm();
        compose->ToText->setPlainText(QStringLiteral("jiro@example.test"));
        compose->SubjectText->setText(subject);
        compose->BodyText->setPlainText(QStringLiteral("本文です\n") + subject);
        compose->Command1->click();
        for (const ScriptedPrompter::Message &m : prompter.messages)
            ADD_FAILURE() << "message after the power came back: " << m.text.toStdString();
        Forms::destroyAll();
    }

    QStringList subjects(const QString &history) const
    {
        QStringList list;
        for (int n = 1; n <= History::RecordCount(history); ++n)
            list.append(History::ReadRecord(history, n, History::Fields::Heading)->Subject().trimmed());
        return list;
    }

    // The mailbox empty, every mail once in the received history with its original, the files it
    // names beside the attachments whole.
    void expectReceivedOnce(const std::string &where)
    {
        SCOPED_TRACE(where);
        EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);
        const QString history = ProgramFolder::receivedHistory();
        const QStringList stored = subjects(history);
        EXPECT_EQ(QSet<QString>(stored.cbegin(), stored.cend()).size(), stored.size())
            << stored.join(u',').toStdString();
        QStringList have = stored, expected = served.keys();
        have.sort();
        expected.sort();
        EXPECT_EQ(have.join(u',').toStdString(), expected.join(u',').toStdString());
        Originals originals(Originals::Kind::Received);
        for (int n = 1; n <= stored.size(); ++n) {
            const std::optional<HistoryRecord> record = History::ReadRecord(history, n);
            ASSERT_TRUE(record);
            const QString subject = record->Subject().trimmed();
            const QByteArray kept =
                Maildir::read(originals.pathOf(n, record->bytes().left(HistoryRecord::HeadingSize))).value_or("(none)");
            EXPECT_TRUE(kept == served.value(subject)) << "record " << n << ", " << subject.toStdString() << ": "
                                                       << kept.left(200).toStdString();
            const int number = subject.section(u' ', 1).toInt();
            if (number % 3 == 2) {
                EXPECT_TRUE(hasAttachment(number)) << subject.toStdString();
            }
            static const QRegularExpression note(QStringLiteral("「(受信本文_[^」]+)」"));
            const QRegularExpressionMatch body = note.match(record->Body());
            if (number % 3 == 0) {
                ASSERT_TRUE(body.hasMatch()) << subject.toStdString();
                QFile whole(ProgramFolder::attachmentFolder() + u'/' + body.captured(1));
                EXPECT_TRUE(whole.open(QIODevice::ReadOnly)
                            && whole.readAll().contains("end of mail " + QByteArray::number(number)))
                    << body.captured(1).toStdString();
            }
        }
        EXPECT_EQ(QDir(ProgramFolder::receivedOriginals() + QStringLiteral("/cur")).entryList(QDir::Files).size(),
                  stored.size());
    }
    bool hasAttachment(int number) const
    {
        const QDir folder(ProgramFolder::attachmentFolder());
        for (const QString &name : folder.entryList({QStringLiteral("f%1*.bin").arg(number)}, QDir::Files)) {
            QFile file(folder.filePath(name));
            if (file.open(QIODevice::ReadOnly) && file.readAll() == attachment(number))
                return true;
        }
        return false;
    }

    // Every mail the server took once in the sent history; each record's original the very mail
    // the server took. Only a mail whose send the power cut may lack its original.
    void expectSentOnce(const std::string &where)
    {
        SCOPED_TRACE(where);
        QHash<QString, QByteArray> delivered;
        for (const QByteArray &mail : servers().mails(QStringLiteral("jiro")))
            for (const QString &subject : std::as_const(attempted))
                if (mail.contains("\r\nSubject: " + subject.toLatin1() + "\r\n"))
                    delivered.insert(subject, mail);
        const QString history = ProgramFolder::sentHistory();
        const QStringList recorded = subjects(history);
        EXPECT_EQ(QSet<QString>(recorded.cbegin(), recorded.cend()).size(), recorded.size())
            << recorded.join(u',').toStdString();
        for (auto it = delivered.cbegin(); it != delivered.cend(); ++it)
            EXPECT_TRUE(recorded.contains(it.key())) << it.key().toStdString() << " went out unrecorded";
        Originals originals(Originals::Kind::Sent);
        int kept = 0;
        for (int n = 1; n <= recorded.size(); ++n) {
            const std::optional<HistoryRecord> record = History::ReadRecord(history, n, History::Fields::Heading);
            const QString path = originals.pathOf(n, record->bytes());
            if (path.isEmpty()) {
                EXPECT_FALSE(finished.contains(recorded[n - 1]))
                    << recorded[n - 1].toStdString() << " lost its original";
                if (delivered.contains(recorded[n - 1]) && !withoutOriginal.contains(recorded[n - 1]))
                    withoutOriginal.insert(recorded[n - 1], QString::fromStdString(where));
                continue;
            }
            ++kept;
            const QByteArray original = Maildir::read(path).value_or("(none)");
            EXPECT_TRUE(original == delivered.value(recorded[n - 1]))
                << "record " << n << ": " << original.left(200).toStdString();
        }
        EXPECT_EQ(QDir(ProgramFolder::sentOriginals() + QStringLiteral("/cur")).entryList(QDir::Files).size(), kept);
    }

    PowerCutFs fs;
    ScriptedPrompter prompter;
    QString home;
    int homes = 0;
    int mails = 0;
    QHash<QString, QByteArray> served; // subject -> the mail as the server has it
    QSet<QString> attempted;           // subjects of the mails sent
    QSet<QString> finished;            // of those sent by a program that kept its power
    QHash<QString, QString> withoutOriginal; // taken by the server, the power gone before its original was kept
};

TEST_F(PowerCut, ReceivingLosesNoMailAndStoresNoneTwice)
{
    // The steps of a check of three mails (one with a file, one too long for its record), in
    // their order: the Maildir made, the mark of a check under way, each original written and
    // delivered, the folder of originals, the files beside the attachments, the record of
    // stored mails, the index of originals, the history, and after QUIT the record of stored
    // mails once more and the mark removed. The first check of a new program folder also makes
    // every folder and file.
    const std::vector<Point> points = {
        {"after", "mkdir", "/Received$", 1, true},
        {"after", "mkdir", "/cur$", 1, true},
        {"before", "fsyncdir", "/★MailData$", 1, true},
        {"after", "rename", ".unfinished", 1},
        {"after", "fsync", "/Received/tmp/", 1},
        {"after", "rename", "/Received/tmp/", 2},
        {"after", "fsyncdir", "/Received/cur$", 1},
        {"after", "fsync", "/添付フォルダ/", 1},
        {"before", "fsyncdir", "/添付フォルダ$", 1},
        {"after", "rename", "uidl.txt", 1},
        {"after", "write", "ppdata2-originals", 2},
        {"after", "fsync", "ppdata2-originals", 1},
        {"after", "write", "ppdata2.data", 3},
        {"after", "fsync", "ppdata2.data", 1},
        {"before", "fsyncdir", "/★MailData$", 4, true}, // the new history's name, the last before DELE
        {"after", "rename", "uidl.txt", 2},             // after QUIT
        {"after", "unlink", ".unfinished", 1},
    };
    for (const Point &point : points) {
        if (point.fresh || home.isEmpty())
            newProgramFolder();
        addMails(3);
        runUntilCut(point, {QStringLiteral("receive")});
        checkAgain();
        expectReceivedOnce(point.command().toStdString());
    }
}

TEST_F(PowerCut, ACheckFinishingAnInterruptedOneLosesNoMailAndStoresNoneTwice)
{
    // The first cut leaves stored originals for the next check (named by the record of stored
    // mails only, or by the index too); the power goes again while that check stores them.
    const Point named{"before", "write", "ppdata2-originals", 1};
    const Point indexed{"after", "fsyncdir", "/★MailData$", 3};
    const std::vector<std::pair<Point, Point>> cuts = {
        {named, {"after", "fsync", "ppdata2-originals", 1}},
        {named, {"after", "write", "ppdata2.data", 2}},
        {named, {"after", "fsync", "ppdata2.data", 1}},
        {named, {"after", "write", "ppdata2-originals", 5}}, // the second entry takes its record's heading
        {indexed, {"after", "write", "ppdata2.data", 1}},
        {indexed, {"after", "fsync", "/添付フォルダ/", 1}},
        {{"after", "fsync", "ppdata2.data", 1}, {"after", "rename", "uidl.txt", 1}},
    };
    for (const auto &[first, second] : cuts) {
        newProgramFolder();
        addMails(3);
        ASSERT_TRUE(runUntilCut(first, {QStringLiteral("receive")}));
        runUntilCut(second, {QStringLiteral("receive")});
        checkAgain();
        expectReceivedOnce(first.command().toStdString() + " then " + second.command().toStdString());
    }
}

TEST_F(PowerCut, SendingRecordsEveryMailOnceWithItsOriginal)
{
    // The record before the mail goes out (a new history's name too), then the mail as sent:
    // the Maildir made, the original written, its index entry, its delivery into cur/.
    const std::vector<Point> points = {
        {"after", "write", "ppdata5.data", 1, true},
        {"before", "fsyncdir", "/★MailData$", 1, true},
        {"after", "fsync", "ppdata5.data", 1},
        {"after", "mkdir", "/Sent$", 1, true},
        {"after", "fsync", "/Sent/tmp/", 1},
        {"after", "fsync", "ppdata5-originals", 1},
        {"after", "rename", "/Sent/tmp/", 1},
        {"after", "fsyncdir", "/Sent/cur$", 1},
    };
    int n = 0;
    for (const Point &point : points) {
        if (point.fresh || home.isEmpty())
            newProgramFolder();
        const QString subject = QStringLiteral("sent %1").arg(++n);
        attempted.insert(subject);
        runUntilCut(point, {QStringLiteral("send"), QStringLiteral("jiro@example.test"), subject,
                            QStringLiteral("本文です\n") + subject});
        send(QStringLiteral("sent %1").arg(++n)); // finishes what the cut one left
        expectSentOnce(point.command().toStdString());
    }
    // The original is written once the server has taken the mail: a cut before it is on the disk
    // leaves the record alone.
    for (auto it = withoutOriginal.cbegin(); it != withoutOriginal.cend(); ++it)
        std::printf("%s was sent and recorded, its original lost: %s\n", qPrintable(it.key()), qPrintable(it.value()));
}

TEST_F(PowerCut, AFolderThatCannotBeSyncedStopsTheCheckBeforeAnyMailLeavesTheServer)
{
    newProgramFolder();
    addMails(2);
    // The commit of the record of stored mails (its folder), then the new Maildir in its parent.
    for (const char *fault : {"fail fsyncdir /★MailData$ 2 5", "fail fsyncdir /★MailData$ 1 5"}) {
        SCOPED_TRACE(fault);
        ASSERT_EQ(fs.ask(QString::fromUtf8(fault)), QStringLiteral("armed"));
        prompter.messages.clear();
        Forms::mainForm()->receiveCommand();
        Forms::destroyAll();
        ASSERT_EQ(prompter.messages.size(), 1u) << fs.ops().join(u'\n').toStdString();
        EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("受信したメールを保存できませんでした。メールはサーバーに残してあります。")))
            << prompter.messages[0].text.toStdString();
        EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("ディスクの読み書きに失敗しました")))
            << prompter.messages[0].text.toStdString();
        EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 2);
        EXPECT_EQ(fs.ask(QStringLiteral("disarm")), QStringLiteral("ok"));
    }
    checkAgain();
    expectReceivedOnce("after the faults");
}

TEST_F(PowerCut, AProgramFolderWithoutModesWorksAsBefore)
{
    // A FAT stick: everything shows 0755, and no mode can be changed.
    ASSERT_EQ(fs.ask(QStringLiteral("nomodes")), QStringLiteral("ok"));
    newProgramFolder();
    addMails(3);
    EXPECT_EQ(run({QStringLiteral("receive")}), QStringList());
    expectReceivedOnce("without modes");
    attempted.insert(QStringLiteral("sent on FAT"));
    finished.insert(QStringLiteral("sent on FAT"));
    EXPECT_EQ(run({QStringLiteral("send"), QStringLiteral("jiro@example.test"), QStringLiteral("sent on FAT"),
                   QStringLiteral("本文")}),
              QStringList());
    expectSentOnce("without modes");
}

} // namespace
