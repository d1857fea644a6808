#pragma once

#include <QString>
#include <QTemporaryDir>

// A program folder of its own for one test: ★MailData, 添付フォルダ and Sound, with
// WANDERPUP_HOME pointing at it while the object lives.
class TempProgramFolder
{
public:
    TempProgramFolder();
    ~TempProgramFolder();

    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const;
    void write(const QString &relative, const QByteArray &bytes) const;
    QByteArray read(const QString &relative) const;
    // petpost.ini with `lines`, loaded afresh into the program's account settings.
    void usePetpost(const QString &lines) const;
    // The ID and password saved in ★MailData/iniIdPass.ini, as the ID dialog saves them.
    void saveAccount(const QString &id, const QString &password) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousHome;
};
