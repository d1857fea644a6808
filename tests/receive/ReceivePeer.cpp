// The program doing one mail check in a process of its own, on the program folder that
// WANDERPUP_HOME names: it starts like the program, clicks "受信" and prints one JSON line with
// the status box and the message boxes. The tests kill it wherever the check happens to be.
#include "ScriptedPrompter.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "transport/MailTransport.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ScriptedPrompter prompter; // a message box would wait for a user who is not there
    MailTransport::instance().setTimeout(15000);

    MainForm *main = Forms::mainForm();
    main->startUp();
    main->receiveCommand();

    QJsonArray messages;
    for (const ScriptedPrompter::Message &m : prompter.messages)
        messages.append(m.text);
    const QJsonObject out{{QStringLiteral("status"), main->Text1->text()}, {QStringLiteral("messages"), messages}};
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    Forms::destroyAll();
    return 0;
}
