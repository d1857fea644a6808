// The bark really plays: a PulseAudio daemon of the test's own with a null sink, whose monitor is
// recorded and measured.
#include "ScriptedPrompter.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/PlayWave.h"
#include "platform/ProgramFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>

namespace {

constexpr int kRate = 22050;

// One PulseAudio daemon for the whole program: the sound system is found once per process.
class PulseServer
{
public:
    bool start(QString &why)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (daemon.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
            why = QStringLiteral("pulseaudio or parec is not installed");
            return false;
        }
        if (!m_dir.isValid()) {
            why = QStringLiteral("no temporary folder");
            return false;
        }
        m_socket = m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        m_daemon.setProcessEnvironment(env);
        m_daemon.setProcessChannelMode(QProcess::MergedChannels);
        m_daemon.setStandardOutputFile(m_dir.filePath(QStringLiteral("pulse.log")));
        m_daemon.start(
            daemon,
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-target=stderr"),
             QStringLiteral("--load=module-null-sink sink_name=wpnull rate=%1").arg(kRate),
             QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1").arg(m_socket)});
        if (!m_daemon.waitForStarted(5000)) {
            why = QStringLiteral("pulseaudio did not start");
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(m_socket) && clock.elapsed() < 10000 && m_daemon.state() == QProcess::Running)
            QTest::qWait(50);
        if (!QFile::exists(m_socket)) {
            why = QStringLiteral("pulseaudio did not open its socket: ") + QString::fromLocal8Bit(readLog());
            stop();
            return false;
        }
        qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + m_socket));
        // The sound system is looked up once per process, at the first use.
        if (QMediaDevices::defaultAudioOutput().isNull()) {
            why = QStringLiteral("Qt finds no output on the test's pulseaudio");
            stop();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate(); // by its PID
            if (!m_daemon.waitForFinished(5000)) {
                m_daemon.kill();
                m_daemon.waitForFinished(2000);
            }
        }
    }

    QByteArray readLog()
    {
        QFile log(m_dir.filePath(QStringLiteral("pulse.log")));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    QString socket() const { return m_socket; }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_socket;
};

// Runs the event loop as the program does (QTest::qWait sleeps between its turns, which starves
// the sound output).
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

PulseServer *g_pulse = nullptr;
QString g_whyNot;

// Records what the null sink plays for `ms` milliseconds while `during` runs.
std::vector<qint16> record(int ms, const std::function<void()> &during = {})
{
    QProcess parec;
    const QString file = g_pulse->dir() + QStringLiteral("/take.raw");
    QFile::remove(file);
    parec.setStandardOutputFile(file);
    parec.setStandardErrorFile(QProcess::nullDevice());
    parec.start(QStringLiteral("parec"),
                {QStringLiteral("--device=wpnull.monitor"), QStringLiteral("--format=s16le"),
                 QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"),
                 QStringLiteral("--raw"), QStringLiteral("--latency-msec=30")});
    if (!parec.waitForStarted(5000))
        return {};
    spin(400); // connected and streaming
    if (during)
        during();
    spin(ms);
    // SIGINT lets parec write out what it still holds; SIGTERM would drop it.
    ::kill(pid_t(parec.processId()), SIGINT);
    if (!parec.waitForFinished(5000)) {
        parec.kill();
        parec.waitForFinished(2000);
    }
    QFile take(file);
    std::vector<qint16> samples;
    if (take.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = take.readAll();
        samples.resize(size_t(bytes.size() / 2));
        if (!samples.empty()) // an empty vector's data() may be null, which memcpy must not get
            std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    }
    return samples;
}

// The level of each 10 ms window.
std::vector<double> levels(const std::vector<qint16> &samples)
{
    const size_t window = kRate / 100;
    std::vector<double> out;
    for (size_t start = 0; start + window <= samples.size(); start += window) {
        double sum = 0;
        for (size_t i = start; i < start + window; ++i)
            sum += double(samples[i]) * samples[i];
        out.push_back(std::sqrt(sum / double(window)));
    }
    return out;
}

constexpr double kLoud = 300; // silence records as exact zeros; a woof peaks above 20000

// Milliseconds of sound.
int loudMs(const std::vector<qint16> &samples)
{
    int loud = 0;
    for (double level : levels(samples))
        loud += level > kLoud ? 10 : 0;
    return loud;
}

// Woofs heard: runs of at least 50 ms of sound. The bark is two woofs.
int woofs(const std::vector<qint16> &samples)
{
    int count = 0;
    int run = 0;
    for (double level : levels(samples)) {
        run = level > kLoud ? run + 1 : 0;
        if (run == 5)
            ++count;
    }
    return count;
}

class BarkSound : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        g_pulse = new PulseServer;
        if (!g_pulse->start(g_whyNot)) {
            delete g_pulse;
            g_pulse = nullptr;
            return;
        }
        // The first recording from a fresh daemon comes back empty; this one is thrown away.
        record(300);
    }
    static void TearDownTestSuite()
    {
        PlayWave(QString(), false, false, false, true);
        if (g_pulse)
            g_pulse->stop();
        delete g_pulse;
        g_pulse = nullptr;
    }
    void SetUp() override
    {
        if (!g_pulse)
            GTEST_SKIP() << "no sound system for this test: " << g_whyNot.toStdString();
        QFile::copy(QStringLiteral(WANDERPUP_BARK), folder.file(QStringLiteral("Sound/Kouka.wav")));
    }
    void TearDown() override
    {
        PlayWave(QString(), false, false, false, true);
        Forms::destroyAll();
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

void click(QWidget *label)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(3, 3), label->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &event);
}

} // namespace

TEST_F(BarkSound, OneBarkIsHeardOnce)
{
    const std::vector<qint16> take =
        record(1500, [] { EXPECT_EQ(PlayWave(ProgramFolder::barkSound(), false, false, false, false), 0); });
    EXPECT_GT(loudMs(take), 150);
    EXPECT_GE(woofs(take), 1);
    EXPECT_LE(woofs(take), 2);
}

TEST_F(BarkSound, LoopRepeatsUntilQuiet)
{
    const std::vector<qint16> looping =
        record(2500, [] { EXPECT_EQ(PlayWave(ProgramFolder::barkSound(), false, true, false, true), 0); });
    EXPECT_GE(woofs(looping), 3); // more than one bark

    // A sound that plays is not interrupted by another without stopping first.
    EXPECT_EQ(PlayWave(ProgramFolder::barkSound(), false, false, false, false), 4);

    PlayWave(QString(), false, false, false, true);
    EXPECT_EQ(loudMs(record(1000)), 0);
}

TEST_F(BarkSound, FromMemoryAndSynchronously)
{
    const std::vector<qint16> take =
        record(1500, [] { EXPECT_EQ(PlayWave(ProgramFolder::barkSound(), false, false, true, false), 0); });
    EXPECT_GT(loudMs(take), 150);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(PlayWave(ProgramFolder::barkSound(), true, false, false, false), 0);
    EXPECT_GE(clock.elapsed(), 600); // returned after the whole bark
    EXPECT_LT(clock.elapsed(), 4000);
}

TEST_F(BarkSound, TheBarkCommandsPlayAndQuietStops)
{
    MainForm *main = Forms::mainForm();
    main->startUp();
    const std::vector<qint16> looping = record(2500, [main] { click(main->Label17); });
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_GE(woofs(looping), 3);
    click(main->Label16);
    EXPECT_EQ(loudMs(record(800)), 0);
    const std::vector<qint16> once = record(1500, [main] { click(main->Label18); });
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_GE(woofs(once), 1);
    EXPECT_LE(woofs(once), 2);
}
