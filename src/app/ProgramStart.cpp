#include "ProgramStart.h"

#include "platform/FolderSetup.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QWidget>

QString ProgramStart::alreadyRunningText(const QString &folder)
{
    return QStringLiteral("Wanderpupは既に起動しています。\r\n"
                          "同じフォルダ（%1）で二つ同時には動かせないため、起動中の画面を前に出します。")
        .arg(QDir::toNativeSeparators(folder));
}

bool ProgramStart::proceed()
{
    const ProgramFolder::Choice choice = ProgramFolder::choice();
    const QString failure =
        FolderSetup::prepare(choice, ProgramFolder::sharedFolder(QCoreApplication::applicationDirPath()));
    if (!failure.isEmpty()) {
        MsgBox(failure, Prompter::Buttons::Ok, Prompter::Icon::Critical);
        m_exitCode = 1;
        return false;
    }
    m_instance = std::make_unique<SingleInstance>(choice.path);
    if (!m_instance->acquire()) {
        MsgBox(alreadyRunningText(choice.path), Prompter::Buttons::Ok, Prompter::Icon::Information);
        m_instance->askOwnerToRaise();
        m_exitCode = 0;
        return false;
    }
    // What an earlier copy of the program left readable to everyone is the user's alone again.
    FolderSetup::makePrivate(choice.path);
    return true;
}

void ProgramStart::raiseOnRequest(QWidget *mainWindow)
{
    if (!m_instance)
        return;
    QObject::connect(m_instance.get(), &SingleInstance::raiseRequested, mainWindow, [mainWindow] {
        // Back from "Small" too.
        mainWindow->setWindowState(mainWindow->windowState() & ~Qt::WindowMinimized);
        mainWindow->show();
        mainWindow->raise();
        mainWindow->activateWindow();
    });
}

QIcon ProgramStart::icon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}
