#pragma once

#include <QString>

// The program folder and the files beside it. File and folder names are matched without regard
// to letter case, so "★MailData" and "★MAilData" name one folder on any file system.
namespace ProgramFolder {

// Where the program keeps its files, and by which rule it was chosen.
struct Choice
{
    enum Kind { Environment, Executable, User };
    QString path;
    Kind kind = Executable;
};

// The folder named by WANDERPUP_HOME; else the executable's folder when the program may write
// there and is not an installed one (bin/ beside share/wanderpup/); else the user's own folder.
Choice choose(const QString &home, const QString &executableFolder, const QString &userFolder);
Choice choice();
QString path(); // choice().path

// $XDG_DATA_HOME/Wanderpup (~/.local/share/Wanderpup by default).
QString userFolder();
// share/wanderpup/ of an installed program, with its read-only files; empty when not installed.
QString sharedFolder(const QString &executableFolder);

// The full path of `relative` (parts separated by '\' or '/') under the program folder. Each
// existing part is reused with the spelling found on disk; parts that do not exist keep the
// spelling given. Nothing is created.
QString resolve(const QString &relative);
// The same below any folder.
QString resolveUnder(const QString &base, const QString &relative);

// The folders and files the program uses, resolved as above.
QString dataFolder();        // ★MailData
QString attachmentFolder();  // 添付フォルダ
QString petpostIni();        // petpost.ini
QString idPassIni();         // ★MailData/iniIdPass.ini
QString charaDataIni();      // ★MailData/CharaData.ini
QString receivedHistory();   // ★MAilData/ppdata2.data
QString storedMailsRecord(); // ★MailData/uidl.txt: mails stored but perhaps not yet deleted (UIDL)
QString sentHistory();       // ★MAilData/ppdata5.data
// The mails as received and as sent, whole (Maildir), and which record each belongs to.
QString receivedOriginals(); // ★MailData/Received
QString sentOriginals();     // ★MailData/Sent
QString receivedIndex();     // ★MAilData/ppdata2-originals.data
QString sentIndex();         // ★MAilData/ppdata5-originals.data
QString barkSound();         // Sound/Kouka.wav

} // namespace ProgramFolder
