#include "DesktopPlatform.h"

#include "platform/Prompter.h"

#include <QGuiApplication>

namespace DesktopPlatform {

namespace {

bool s_chosenHere = false;

bool userChosePlatform() { return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !s_chosenHere; }

} // namespace

void chooseBeforeStart()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    const bool wayland =
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
    if (!wayland || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb;wayland"));
    s_chosenHere = true;
}

void restoreEnvironment()
{
    if (s_chosenHere)
        qunsetenv("QT_QPA_PLATFORM");
}

bool dogsCannotWalk() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

QString dogsCannotWalkText()
{
    QString text = QStringLiteral("このデスクトップ（Wayland）では、プログラムが自分の窓の位置を決められないため、"
                                  "犬たちがデスクトップを歩くことも、犬小屋に入ることもできません。\r\n"
                                  "メールの受信や送信などは、いつもどおり使えます。\r\n"
                                  "犬を歩かせるには、X（Xwayland）が使えるデスクトップで起動して下さい。");
    if (userChosePlatform())
        text += QStringLiteral("\r\n（環境変数 QT_QPA_PLATFORM で「%1」が指定されています。）")
                    .arg(qEnvironmentVariable("QT_QPA_PLATFORM"));
    return text;
}

void tellIfDogsCannotWalk()
{
    static bool told = false;
    if (told || !dogsCannotWalk())
        return;
    told = true;
    MsgBox(dogsCannotWalkText(), Prompter::Buttons::Ok, Prompter::Icon::Information);
}

} // namespace DesktopPlatform
