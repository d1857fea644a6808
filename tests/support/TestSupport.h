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

private:
    QTemporaryDir m_dir;
    QByteArray m_previousHome;
};
