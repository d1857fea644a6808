// Every mail of the mailbox in the received history exactly once, whole, with its original: also
// when the program is killed anywhere in a check, and when mail is left on the server. Against
// the real Dovecot of tests/servers.
#include "MailServers.h"
#include "ScriptedPrompter.h"
#include "TestSupport.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "store/HistoryFile.h"
#include "store/Maildir.h"
#include "store/Originals.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <csignal>

namespace {

MailServers &servers()
{
    static MailServers s;
    return s;
}

// Mail n: plain text, some with a file, of different sizes, told apart by subject and id.
QByteArray numberedMail(int n)
{
    QByteArray mail = "From: sender" + QByteArray::number(n % 7) + "@example.org\r\n"
                      "To: taro@example.test\r\n"
                      "Subject: mail " + QByteArray::number(n) + "\r\n"
                      "Date: Wed, 09 Dec 2026 12:00:00 +0900\r\n"
                      "Message-ID: <n" + QByteArray::number(n) + "@example.org>\r\n"
                      "MIME-Version: 1.0\r\n";
    const QByteArray text = QByteArray("line of mail ").repeated(1 + (n * 37) % 400) + "\r\n";
    if (n % 10 != 3)
        return mail + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
    return mail + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n" + text
           + "--b\r\nContent-Type: application/octet-stream; name=\"f" + QByteArray::number(n)
           + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + QByteArray(30000, char(n)).toBase64() + "\r\n--b--\r\n";
}

class ExactlyOnce : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
        servers().clearMails(QStringLiteral("taro"));
        ASSERT_TRUE(servers().installTrust(folder.file(QStringLiteral("★MailData"))));
        usePop3(false);
        folder.saveAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
    }
    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
    }

    void usePop3(bool leave)
    {
        folder.usePetpost(QStringLiteral("SMTP=\r\nPOP3=127.0.0.1:%1\r\nMAIL=taro@example.test\r\nAPOP=0\r\n%2")
                              .arg(servers().pop3Port())
                              .arg(leave ? QStringLiteral("KEEP=1\r\n") : QString()));
    }

    // The subjects of the received history, in record order.
    QStringList storedSubjects() const
    {
        QStringList subjects;
        const QString file = folder.file(QStringLiteral("★MailData/ppdata2.data"));
        for (int n = 1; n <= History::RecordCount(file); ++n)
            subjects.append(History::ReadRecord(file, n, History::Fields::Heading)->Subject().trimmed());
        return subjects;
    }
    QStringList originals() const
    {
        return QDir(folder.file(QStringLiteral("★MailData/Received/cur"))).entryList(QDir::Files, QDir::Name);
    }
    int mailsOnServer() const { return servers().mailCount(QStringLiteral("taro")); }

    // Returns whether the check ended by itself (else it was killed): after `killAfter` ms, or,
    // with `atCall`, by strace on entering the n-th such system call of a thread, counting only
    // the calls on one file where a path is given ("rename:uidl.txt:2").
    bool runCheck(int killAfter, const QString &atCall = QString())
    {
        QProcess peer;
        QStringList arguments;
        if (atCall.isEmpty()) {
            peer.setProgram(QStringLiteral(WANDERPUP_RECEIVE_PEER));
        } else {
            const QString calls = atCall.section(u':', 0, 0);
            const QString path = atCall.section(u':', 1, 1);
            peer.setProgram(QStringLiteral("strace"));
            arguments << QStringLiteral("-f") << QStringLiteral("-qq") << QStringLiteral("-o") << QStringLiteral("/dev/null");
            if (!path.isEmpty())
                arguments << QStringLiteral("-P") << folder.file(QStringLiteral("★MailData/") + path);
            arguments << QStringLiteral("-e") << QStringLiteral("trace=") + calls << QStringLiteral("-e")
                      << QStringLiteral("inject=%1:signal=KILL:when=%2").arg(calls, atCall.section(u':', 2, 2))
                      << QStringLiteral(WANDERPUP_RECEIVE_PEER);
        }
        peer.setArguments(arguments);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        peer.setProcessEnvironment(env);
        peer.start();
        EXPECT_TRUE(peer.waitForStarted(10000));
        if (peer.waitForFinished(killAfter)) {
            // strace passes on how the program ended; anything but a kill is a fault here.
            const bool byItself = peer.exitStatus() == QProcess::NormalExit;
            EXPECT_TRUE(!byItself || peer.exitCode() == 0) << peer.readAllStandardError().toStdString();
            return byItself;
        }
        ::kill(pid_t(peer.processId()), SIGKILL);
        peer.waitForFinished(10000);
        return false;
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

TEST_F(ExactlyOnce, KilledAnywhereInACheckTheNextCheckStoresEveryMailOnce)
{
    constexpr int kMails = 120;
    constexpr int kRounds = 20;
    QHash<QString, QByteArray> sent; // subject -> the mail as the server has it
    auto fill = [&] {
        for (int i = 0; i < kMails; ++i) {
            const int n = int(sent.size()) + 1;
            const QByteArray mail = numberedMail(n);
            ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), mail));
            sent.insert(QStringLiteral("mail %1").arg(n), mail);
        }
    };
    auto check = [&](int killAfter, const QString &atCall = QString()) { return runCheck(killAfter, atCall); };

    // How long a whole check takes, start-up included: the kills fall anywhere in it.
    fill();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(check(120000));
    const int whole = int(clock.elapsed());
    fill();

    QRandomGenerator random(20261209);
    int kills = 0;
    for (int round = 0; round < kRounds; ++round) {
        if (check(int(random.bounded(whole)))) {
            fill(); // it got through: more mail for the next one
            continue;
        }
        ++kills;
        // Whatever was cut off, nothing is there twice.
        const QStringList subjects = storedSubjects();
        ASSERT_EQ(QSet<QString>(subjects.cbegin(), subjects.cend()).size(), subjects.size()) << "round " << round;
    }
    std::printf("%d of %d checks killed at random moments of a %d ms check\n", kills, kRounds, whole);
    EXPECT_GE(kills, kRounds / 2);

    // And at the steps themselves: on entering the n-th rename (an original into the Maildir, the
    // record of stored mails replaced), fsync (an original, a folder, the record of stored mails),
    // fdatasync (the index, the history), pwrite (an index entry, a record) or unlink of a check.
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty()) {
        std::printf("strace is not installed: the kills at each step are left out\n");
    } else {
        // Counted in a check of 120 new mails after one that ended by itself, in two batches of
        // originals (fsync and rename, each writing thread counting its own), then the index
        // entries and the records of each batch (pwrite, then fdatasync, on the check's thread),
        // then the mark of an unfinished check removed (unlink).
        const QString rename = QStringLiteral("rename,renameat,renameat2");
        const QStringList points = {"fsync::1", "fsync::4", rename + "::1", rename + "::3", "pwrite64::1",
                                    "pwrite64::50", "pwrite64::100", "pwrite64::101", "pwrite64::150",
                                    "pwrite64::200", "pwrite64::201", "pwrite64::221", "fdatasync::1",
                                    "fdatasync::2", "fdatasync::3", "fdatasync::4", "unlink,unlinkat::1"};
        int stepKills = 0;
        for (const QString &point : points) {
            ASSERT_TRUE(check(120000)); // finishes what the last one left, empties the mailbox
            fill();
            if (check(120000, point)) {
                ADD_FAILURE() << "the check did not come to " << point.toStdString();
                continue;
            }
            ++stepKills;
            const QStringList subjects = storedSubjects();
            ASSERT_EQ(QSet<QString>(subjects.cbegin(), subjects.cend()).size(), subjects.size()) << point.toStdString();
        }
        std::printf("%d of %d checks killed at a step of storing\n", stepKills, int(points.size()));
        kills += stepKills;
    }
    const int kMailsInAll = int(sent.size());

    // The check that ran to its end left the mailbox empty and every mail stored once, whole.
    Forms::mainForm()->receiveCommand();
    EXPECT_EQ(mailsOnServer(), 0);
    const QStringList subjects = storedSubjects();
    EXPECT_EQ(subjects.size(), kMailsInAll);
    QSet<QString> missing(sent.keyBegin(), sent.keyEnd());
    missing.subtract(QSet<QString>(subjects.cbegin(), subjects.cend()));
    EXPECT_TRUE(missing.isEmpty()) << missing.size() << " mails lost, such as " << missing.values().value(0).toStdString();
    const QStringList files = originals();
    ASSERT_EQ(files.size(), kMailsInAll);
    // Each record's original is its own mail, byte for byte: the index pairs them.
    Originals index(Originals::Kind::Received);
    const QString history = folder.file(QStringLiteral("★MailData/ppdata2.data"));
    for (int n = 1; n <= kMailsInAll; ++n) {
        const std::optional<HistoryRecord> record = History::ReadRecord(history, n, History::Fields::Heading);
        const std::optional<QByteArray> original = Maildir::read(index.pathOf(n, record->bytes()));
        ASSERT_TRUE(original) << "record " << n;
        EXPECT_EQ(*original, sent.value(record->Subject().trimmed())) << "record " << n;
    }
    EXPECT_TRUE(QDir(folder.file(QStringLiteral("★MailData/Received/tmp"))).isEmpty());
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("★MailData/Received/.unfinished"))));
}

TEST_F(ExactlyOnce, MailLeftOnTheServerIsStoredOnceAndNeverDeleted)
{
    usePop3(true);
    for (int n = 1; n <= 2; ++n)
        ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), numberedMail(n)));
    MainForm *main = Forms::mainForm();
    main->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    EXPECT_EQ(storedSubjects(), (QStringList{"mail 1", "mail 2"}));
    EXPECT_EQ(mailsOnServer(), 2);
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール有り。"));

    // Only what is new is stored; nothing new is no new mail.
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), numberedMail(3)));
    main->receiveCommand();
    EXPECT_EQ(storedSubjects(), (QStringList{"mail 1", "mail 2", "mail 3"}));
    main->receiveCommand();
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール無し。"));
    EXPECT_EQ(mailsOnServer(), 3);

    // A mail deleted from the history does not come back from the server.
    TyakuForm *window = Forms::tyakuForm();
    window->OpenHistory(1);
    const QRect row = window->MailListView->visualRect(window->mailList->index(0, 0));
    QTest::mouseClick(window->MailListView->viewport(), Qt::LeftButton, {}, row.center());
    window->Command1->click(); // "１件削除", answered Yes
    prompter.messages.clear();
    main->receiveCommand();
    EXPECT_EQ(storedSubjects(), (QStringList{"mail 2", "mail 3"}));
    EXPECT_EQ(originals().size(), 2);

    // Back to deleting: the mails stored already leave the server without being stored again.
    usePop3(false);
    main->receiveCommand();
    EXPECT_EQ(mailsOnServer(), 0);
    EXPECT_EQ(storedSubjects(), (QStringList{"mail 2", "mail 3"}));
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
}

TEST_F(ExactlyOnce, FilesOfAMailCutOffBeforeItWasStoredAreKeptOnceAndGoWithTheMail)
{
    const QByteArray withFile = "From: a@example.org\r\nSubject: with file\r\nMIME-Version: 1.0\r\n"
                                "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                                "Content-Type: text/plain\r\n\r\nsee the file\r\n--b\r\n"
                                "Content-Type: application/octet-stream; name=\"report.bin\"\r\n"
                                "Content-Transfer-Encoding: base64\r\n\r\n"
                                + QByteArray("report").toBase64() + "\r\n--b--\r\n";
    const QByteArray longText = QByteArray("a long line of text\r\n").repeated(2000);
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), withFile));
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"),
                                  "From: b@example.org\r\nSubject: long\r\n\r\n" + longText));

    // Killed as the index of originals is forced to the disk: both mails are unpacked and named
    // in the record of stored mails by then, and neither is in the history. The next check
    // finishes them from their originals.
    ASSERT_FALSE(runCheck(120000, QStringLiteral("fdatasync::1")));
    ASSERT_TRUE(storedSubjects().isEmpty());
    ASSERT_TRUE(runCheck(120000));
    ASSERT_EQ(storedSubjects(), (QStringList{"with file", "long"}));

    const QDir attachments(folder.file(QStringLiteral("添付フォルダ")));
    QStringList files = attachments.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ASSERT_EQ(files.size(), 2) << files.join(u' ').toStdString();
    EXPECT_EQ(files[0], QStringLiteral("report.bin"));
    EXPECT_EQ(folder.read(QStringLiteral("添付フォルダ/report.bin")), QByteArray("report"));
    EXPECT_TRUE(files[1].startsWith(QStringLiteral("受信本文_")));
    const QString record = History::ReadRecord(folder.file(QStringLiteral("★MailData/ppdata2.data")), 2)->Body();
    EXPECT_TRUE(record.contains(QStringLiteral("「%1」").arg(files[1])));

    // Deleting the long mail deletes its whole text; an attachment stays where it was unpacked.
    TyakuForm *window = Forms::tyakuForm();
    window->OpenHistory(1);
    const QRect row = window->MailListView->visualRect(window->mailList->index(1, 0));
    QTest::mouseClick(window->MailListView->viewport(), Qt::LeftButton, {}, row.center());
    window->Command1->click();
    EXPECT_EQ(storedSubjects(), QStringList{"with file"});
    files = attachments.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(files.join(u' '), QStringLiteral("report.bin"));
}

} // namespace
