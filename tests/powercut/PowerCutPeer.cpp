// The program in a process of its own on the program folder that WANDERPUP_HOME names, for the
// test that cuts its power: it starts like the program, then "receive" clicks "受信" and
// "send TO SUBJECT BODY" sends one mail from the compose window. It prints one JSON line with the
// message boxes, unless the power goes first.
#include "ScriptedPrompter.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"
#include "send/WriteForm.h"
#include "transport/MailTransport.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const QStringList arguments = app.arguments();
    ScriptedPrompter prompter; // a message box would wait for a user who is not there
    MailTransport::instance().setTimeout(15000);

    ProgramStart start;
    if (!start.proceed())
        return 2;
    MainForm *main = Forms::mainForm();
    main->startUp();
    if (arguments.value(1) == QStringLiteral("send") && arguments.size() == 5) {
        WriteForm *compose = Forms::writeForm();
        compose->show();
        compose->ToText->setPlainText(arguments[2]);
        compose->SubjectText->setText(arguments[3]);
        compose->BodyText->setPlainText(arguments[4]);
        compose->Command1->click();
    } else {
        main->receiveCommand();
    }

    QJsonArray messages;
    for (const ScriptedPrompter::Message &m : prompter.messages)
        messages.append(m.text);
    const QJsonObject out{{QStringLiteral("messages"), messages}};
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    Forms::destroyAll();
    return 0;
}
