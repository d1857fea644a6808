// Dog windows on a real X display with a window manager: cut to the dog's outline, dragged by the
// window manager, ended by a right click. Skips where Xvfb, openbox, xdotool or ImageMagick are
// missing.
#include "characters/DogWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QRgb kDesktop = qRgb(0x4a, 0x7f, 0x5a);

class Display
{
public:
    bool start(QString &why)
    {
        for (const char *tool : {"Xvfb", "openbox", "xdotool", "import", "xsetroot", "xwininfo"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                why = QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
                return false;
            }
        int n = 160;
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            ++n;
        m_name = QStringLiteral(":%1").arg(n);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("DISPLAY"), m_name);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {m_name, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("800x600x24"),
                      QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && clock.elapsed() < 10000)
            QTest::qWait(50);
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
            why = QStringLiteral("Xvfb did not start");
            return false;
        }
        m_wm.setProcessEnvironment(m_env);
        m_wm.start(QStringLiteral("openbox"), {});
        QTest::qWait(1000);
        run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), QStringLiteral("#4a7f5a")});
        return true;
    }

    void stop()
    {
        for (QProcess *p : {&m_wm, &m_xvfb}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate(); // by its PID
                if (!p->waitForFinished(5000))
                    p->kill();
                p->waitForFinished(2000);
            }
        }
    }

    QByteArray run(const QString &program, const QStringList &arguments)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program, arguments);
        p.waitForFinished(10000);
        return p.readAllStandardOutput();
    }

    QImage screenshot()
    {
        return QImage::fromData(
                   run(QStringLiteral("import"),
                       {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}))
            .convertToFormat(QImage::Format_RGB32);
    }

    // Top-left corner of the window with this title.
    QPoint windowAt(const QString &title)
    {
        const QByteArray id =
            run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), title})
                .split('\n')
                .value(0);
        const QString info = QString::fromUtf8(
            run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::fromLatin1(id)}));
        QPoint at(-1, -1);
        for (const QString &line : info.split(u'\n')) {
            if (line.contains(QLatin1String("Absolute upper-left X:")))
                at.setX(line.section(u':', 1).trimmed().toInt());
            if (line.contains(QLatin1String("Absolute upper-left Y:")))
                at.setY(line.section(u':', 1).trimmed().toInt());
        }
        return at;
    }

    const QProcessEnvironment &env() const { return m_env; }

private:
    QString m_name;
    QProcessEnvironment m_env;
    QProcess m_xvfb;
    QProcess m_wm;
};

Display *g_display = nullptr;
QString g_whyNot;

class DogOnScreen : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        g_display = new Display;
        if (!g_display->start(g_whyNot)) {
            g_display->stop();
            delete g_display;
            g_display = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        if (g_display)
            g_display->stop();
        delete g_display;
        g_display = nullptr;
    }
    void SetUp() override
    {
        if (!g_display)
            GTEST_SKIP() << "no X display for this test: " << g_whyNot.toStdString();
        m_helper.setProcessEnvironment(g_display->env());
        m_helper.start(QStringLiteral(WANDERPUP_DOG_HELPER), {});
        ASSERT_TRUE(m_helper.waitForReadyRead(10000));
        ASSERT_EQ(m_helper.readLine().trimmed(), "ready");
    }
    void TearDown() override
    {
        if (m_helper.state() != QProcess::NotRunning) {
            m_helper.kill();
            m_helper.waitForFinished(5000);
        }
    }

    QProcess m_helper;
};

const QString kDog5 = QStringLiteral("気分・・・５");
const QString kDog1 = QStringLiteral("気分・・・１");

} // namespace

TEST_F(DogOnScreen, OnlyTheDogIsVisible)
{
    ASSERT_EQ(g_display->windowAt(kDog5), QPoint(200, 200));
    const QImage screen = g_display->screenshot();
    ASSERT_FALSE(screen.isNull());
    const QImage picture = DogWindow::framePicture(5, 0);
    const QRegion outline = DogWindow::BuildOutline(picture);
    int mismatches = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb want = outline.contains(QPoint(x, y)) ? picture.pixel(x, y) : kDesktop;
            mismatches += screen.pixel(200 + x, 200 + y) == want ? 0 : 1;
        }
    EXPECT_EQ(mismatches, 0);

    // A dog whose frame is one colour has an empty outline: its window is there and shows nothing.
    ASSERT_EQ(g_display->windowAt(QStringLiteral("Form6")), QPoint(200, 400));
    int shown = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            shown += screen.pixel(200 + x, 400 + y) == kDesktop ? 0 : 1;
    EXPECT_EQ(shown, 0);
}

TEST_F(DogOnScreen, LeftDragMovesOnlyThatDogAndRightClickEnds)
{
    // (32, 40) lies on dog 5's body.
    g_display->run(
        QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("232"), QStringLiteral("240"),
         QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("sleep"), QStringLiteral("0.3"),
         QStringLiteral("mousemove"), QStringLiteral("282"), QStringLiteral("280"), QStringLiteral("sleep"),
         QStringLiteral("0.3"), QStringLiteral("mousemove"), QStringLiteral("332"), QStringLiteral("310"),
         QStringLiteral("sleep"), QStringLiteral("0.3"), QStringLiteral("mouseup"), QStringLiteral("1")});
    QTest::qWait(300);
    EXPECT_EQ(g_display->windowAt(kDog5), QPoint(300, 270));
    EXPECT_EQ(g_display->windowAt(kDog1), QPoint(420, 200));

    // A drag beside dog 1, inside its square but outside its outline, reaches the desktop.
    g_display->run(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("421"), QStringLiteral("201"),
                    QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("sleep"),
                    QStringLiteral("0.3"), QStringLiteral("mousemove"), QStringLiteral("481"),
                    QStringLiteral("251"), QStringLiteral("sleep"), QStringLiteral("0.3"),
                    QStringLiteral("mouseup"), QStringLiteral("1")});
    QTest::qWait(300);
    EXPECT_EQ(g_display->windowAt(kDog1), QPoint(420, 200));
    EXPECT_EQ(m_helper.state(), QProcess::Running);

    // A right click on the dog ends the program.
    g_display->run(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("452"), QStringLiteral("240"),
                    QStringLiteral("click"), QStringLiteral("3")});
    EXPECT_TRUE(m_helper.waitForFinished(5000));
    EXPECT_EQ(m_helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_helper.exitCode(), 0);
}
