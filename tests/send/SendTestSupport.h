#pragma once

#include "ScriptedPrompter.h"
#include "TestSupport.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

class QWidget;
class WriteForm;

// A program folder wired to the real servers (tests/servers): SMTP with STARTTLS, POP3 for
// taro, the sender hanako@example.test. Every mailbox starts empty.
class SendFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes petpost.ini and loads it.
    void useServers(const QString &smtp, const QString &pop3, const QString &mail);
    QString smtp() const;
    QString pop3() const;

    // Types a mail into the compose window's fields.
    static void type(WriteForm *window, const QString &to, const QString &subject, const QString &body);
    QByteArray sentHistory() const { return folder.read(QStringLiteral("★MailData/ppdata5.data")); }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

// How Python's email package reads a raw mail (tests/transport/read_mail.py).
QJsonObject readMail(const QByteArray &raw);
// The files the SMTP server delivered to `user`, named so that they sort in delivery order
// across all mailboxes.
QStringList deliveries(const QString &user);
// Runs the deletions a closed window left behind; true when `window` is gone.
bool isGone(const QPointer<QWidget> &window);
