// Nobody but the user reads the mail or the password: after a start on a data folder that an
// earlier copy of the program left open to every account, and a receive with a file and a long
// body, a send, the ID and password saved, the dog choice, the address book and a trusted
// certificate, another account of the machine reads nothing under ★MailData or 添付フォルダ,
// whatever the umask.
#include "MailServers.h"
#include "ScriptedPrompter.h"
#include "TestSupport.h"
#include "addressbook/AddressBookFile.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"
#include "characters/SetForm.h"
#include "platform/ProgramFolder.h"
#include "send/WriteForm.h"
#include "transport/MailTransport.h"
#include "transport/TrustStore.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray mailWithFileAndLongBody()
{
    return "From: hanako@example.test\r\nTo: taro@example.test\r\nSubject: private\r\n"
           "Message-ID: <private@example.test>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
           + QByteArray("my secret line\r\n").repeated(3000)
           + "--b\r\nContent-Type: application/octet-stream; name=\"secret.bin\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\n"
           + QByteArray(2000, 's').toBase64() + "\r\n--b--\r\n";
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

TEST(PrivateFiles, AnotherAccountReadsNothingOfTheMailWhateverTheUmask)
{
    MailServers servers;
    ASSERT_TRUE(servers.ok()) << servers.error().toStdString();
    const mode_t umask = ::umask(0);
    ScriptedPrompter prompter;
    TempProgramFolder folder;
    // The program folder itself is the user's to share; what the program keeps in it is not.
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);

    // As an earlier copy left it: folders 0755, files 0644, the password file too.
    folder.saveAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
    folder.write(QStringLiteral("★MailData/uidl.txt"), "WanderpupUidl 1\r\n");
    folder.write(QStringLiteral("★MailData/Received/cur/1765000000.M1P2Q3.old,S=12:2,S"), "Subject: x\r\n\r\n");
    folder.write(QStringLiteral("添付フォルダ/old.bin"), "old file");
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
    QDirIterator old(folder.path(), all, QDirIterator::Subdirectories);
    while (old.hasNext()) {
        const QString path = old.next();
        ::chmod(QFile::encodeName(path).constData(), old.fileInfo().isDir() ? 0755 : 0644);
    }
    ASSERT_TRUE(servers.installTrust(folder.file(QStringLiteral("★MailData"))));
    folder.usePetpost(QStringLiteral("SMTP=127.0.0.1:%1\r\nPOP3=127.0.0.1:%2\r\nMAIL=taro@example.test\r\nAPOP=0\r\n")
                          .arg(servers.smtpPort())
                          .arg(servers.pop3Port()));
    MailTransport::instance().setTimeout(15000);

    ProgramStart start;
    ASSERT_TRUE(start.proceed());
    ASSERT_TRUE(servers.addMail(QStringLiteral("taro"), mailWithFileAndLongBody()));
    Forms::mainForm()->receiveCommand();
    WriteForm *compose = Forms::writeForm();
    compose->show();
    compose->ToText->setPlainText(QStringLiteral("jiro@example.test"));
    compose->SubjectText->setText(QStringLiteral("秘密"));
    compose->BodyText->setPlainText(QStringLiteral("内緒の話"));
    compose->Command1->click();
    ASSERT_TRUE(IdPassFile::write(ProgramFolder::idPassIni(), QStringLiteral("NAME2"), QStringLiteral("new-pass")));
    Forms::setForm()->setTicked(3, true);
    Forms::setForm()->SaveDogChoice();
    ASSERT_TRUE(AddressBook::WriteAddressRecord(AddressBook::BookFile(), 1, QStringLiteral("花子"),
                                                QStringLiteral("hanako@example.test")));
    ServerCertificate certificate;
    certificate.key = QStringLiteral("pop.example.jp:995");
    certificate.sha256 = QByteArray(32, '\x01');
    ASSERT_EQ(TrustStore::trust(TrustStore::path(), certificate), 0);
    Forms::destroyAll();
    ::umask(umask);
    for (const ScriptedPrompter::Message &m : prompter.messages)
        ADD_FAILURE() << m.text.toStdString();

    QStringList everything;
    int files = 0;
    for (const QString &top : {ProgramFolder::dataFolder(), ProgramFolder::attachmentFolder()}) {
        everything.append(top);
        QDirIterator it(top, all, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            everything.append(it.next());
            files += it.fileInfo().isFile();
        }
    }
    for (const char *name : {"iniIdPass.ini", "uidl.txt", "trustedcerts.txt", "CharaData.ini", "Ppdata20.data",
                             "ppdata2.data", "ppdata5.data", "ppdata2-originals.data", "ppdata5-originals.data"})
        EXPECT_TRUE(everything.contains(folder.file(QStringLiteral("★MailData/") + QString::fromUtf8(name)))) << name;
    EXPECT_GE(files, 16); // those, cacert.pem, three originals, the file, the long body, the old one
    for (const QString &path : std::as_const(everything)) {
        const mode_t mode = modeOf(path);
        EXPECT_EQ(mode & 077, 0u) << path.toStdString() << " is " << std::oct << (mode & 07777);
    }
    // And as the other account sees it.
    QProcess other;
    const QStringList tryEach = {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                 QStringLiteral("sh"), QStringLiteral("-c"),
                                 QStringLiteral("for f; do cat -- \"$f\" || ls -- \"$f\"; done"), QStringLiteral("sh")};
    other.start(QStringLiteral("runuser"), tryEach + everything);
    ASSERT_TRUE(other.waitForFinished(30000));
    EXPECT_TRUE(other.readAllStandardOutput().isEmpty());
    EXPECT_NE(other.exitCode(), 0);
    const QString refused = QString::fromLocal8Bit(other.readAllStandardError());
    EXPECT_EQ(refused.count(QStringLiteral("Permission denied")), 2 * everything.size()) << refused.toStdString();
}

} // namespace
