// The receiving copy of the program for the two-copy test, in a process of its own on the program
// folder that WANDERPUP_HOME names: it starts like the program, clicks "受信", watches the dogs
// for a second and prints one JSON line: the status box, the message boxes, and every dog window
// that came out with whether it walks (its walk timer runs and it moved).
#include "ScriptedPrompter.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogWindow.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ScriptedPrompter prompter; // a message box would wait for a user who is not there

    MainForm *main = Forms::mainForm();
    main->startUp();
    main->show();
    main->findChild<CommandLabel *>(QStringLiteral("Label8"))->activate();

    QJsonArray dogs;
    QPoint before[11];
    for (int form = 1; form <= 10; ++form)
        if (DogWindow *dog = Forms::existingDogWindow(form))
            before[form] = dog->pos();
    QTest::qWait(1200);
    for (int form = 1; form <= 10; ++form) {
        DogWindow *dog = Forms::existingDogWindow(form);
        if (!dog || !dog->isVisible())
            continue;
        dogs.append(QJsonObject{{QStringLiteral("form"), form},
                                {QStringLiteral("dog"), dog->dogNumber()},
                                {QStringLiteral("walking"), dog->Timer1->isActive()},
                                {QStringLiteral("moved"), dog->pos() != before[form]}});
    }
    QJsonArray messages;
    for (const ScriptedPrompter::Message &m : prompter.messages)
        messages.append(m.text);
    const QJsonObject out{{QStringLiteral("status"), main->Text1->text()},
                          {QStringLiteral("messages"), messages},
                          {QStringLiteral("dogs"), dogs}};
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    Forms::destroyAll();
    return 0;
}
