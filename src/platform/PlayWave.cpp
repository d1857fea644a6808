#include "PlayWave.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMediaDevices>
#include <QTimer>
#include <QWaveDecoder>

#include <cstring>
#include <memory>

namespace {

constexpr qint64 kMemoryLimit = 2097152;

// Feeds the decoded samples to the sound system, from the start again at the end when looping.
class PcmSource : public QIODevice
{
public:
    PcmSource(QByteArray pcm, bool loop)
        : m_pcm(std::move(pcm))
        , m_loop(loop)
    {}

    bool isSequential() const override { return true; }
    bool atEnd() const override { return !m_loop && m_pos >= m_pcm.size(); }
    qint64 bytesAvailable() const override
    {
        return (m_loop ? m_pcm.size() : m_pcm.size() - m_pos) + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize && !m_pcm.isEmpty()) {
            if (m_pos >= m_pcm.size()) {
                if (!m_loop)
                    break;
                m_pos = 0;
            }
            const qint64 chunk = std::min(maxSize - done, qint64(m_pcm.size()) - m_pos);
            std::memcpy(data + done, m_pcm.constData() + m_pos, size_t(chunk));
            m_pos += chunk;
            done += chunk;
        }
        return done;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_pcm;
    bool m_loop;
    qint64 m_pos = 0;
};

struct Playback
{
    std::unique_ptr<PcmSource> source;
    std::unique_ptr<QAudioSink> sink;
    bool finished = false;
};

void stopAll();

std::unique_ptr<Playback> &current()
{
    static std::unique_ptr<Playback> playback;
    static const bool cleanUp = [] {
        // The sound system goes with the application object; the playback must go first.
        qAddPostRoutine(stopAll);
        return true;
    }();
    Q_UNUSED(cleanUp);
    return playback;
}

// The in-memory image of the last sound played from memory; it stays until the next one.
QByteArray &memoryBuffer()
{
    static QByteArray buffer;
    return buffer;
}

void stopAll()
{
    std::unique_ptr<Playback> &playback = current();
    if (playback) {
        playback->sink->stop();
        playback.reset();
    }
}

bool decodeWave(const QByteArray &bytes, QAudioFormat &format, QByteArray &pcm)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QWaveDecoder decoder(&buffer);
    if (!decoder.open(QIODevice::ReadOnly))
        return false;
    format = decoder.audioFormat();
    if (!format.isValid())
        return false;
    pcm = decoder.readAll();
    return !pcm.isEmpty();
}

// Hands the sound to the sound system. False when it refuses: no output device, a picture or
// other non-sound data, or a device that cannot be opened.
bool play(const QByteArray &bytes, bool synchronous, bool loop)
{
    // A sound that is still playing is not interrupted.
    if (current() && !current()->finished)
        return false;
    QAudioFormat format;
    QByteArray pcm;
    if (!decodeWave(bytes, format, pcm))
        return false;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;

    auto playback = std::make_unique<Playback>();
    const qint64 durationMs = format.durationForBytes(qint32(std::min<qint64>(pcm.size(), INT32_MAX))) / 1000;
    playback->source = std::make_unique<PcmSource>(std::move(pcm), loop);
    playback->source->open(QIODevice::ReadOnly);
    playback->sink = std::make_unique<QAudioSink>(device, format);
    QAudioSink *sink = playback->sink.get();
    Playback *raw = playback.get();
    QObject::connect(sink, &QAudioSink::stateChanged, sink, [raw](QAudio::State state) {
        // At the end of the data the sound system still plays what it holds; the stream is
        // closed by the next call.
        if (state == QAudio::IdleState && raw->source->atEnd()) {
            raw->finished = true;
        } else if (state == QAudio::StoppedState) {
            raw->finished = true;
        }
    });
    sink->start(playback->source.get());
    if (sink->error() == QAudio::OpenError || sink->error() == QAudio::FatalError)
        return false;
    current() = std::move(playback);

    if (synchronous) {
        // Waits until the sound has been heard to its end, with a time-out should the device
        // stall.
        QElapsedTimer clock;
        clock.start();
        QEventLoop wait;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
            const bool heard =
                raw->finished && (clock.elapsed() >= durationMs || sink->state() == QAudio::StoppedState);
            if (heard || clock.elapsed() > durationMs + 3000)
                wait.quit();
        });
        poll.start(10);
        wait.exec();
        stopAll();
    }
    return true;
}

} // namespace

qint16 PlayWave(const QString &fileName, bool synchronous, bool loop, bool inMemory, bool stopFirst)
{
    if (stopFirst)
        stopAll();
    if (synchronous && loop)
        return 2;

    if (inMemory) {
        QFile file(fileName);
        if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
            return 3;
        if (file.size() > kMemoryLimit)
            return 1;
        QByteArray bytes = file.readAll();
        file.close();
        if (bytes.isEmpty())
            return 3;
        memoryBuffer() = std::move(bytes);
        return play(memoryBuffer(), synchronous, loop) ? 0 : 4;
    }

    // By name: a missing or unplayable file is the sound system's refusal.
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return 4;
    const QByteArray bytes = file.readAll();
    return play(bytes, synchronous, loop) ? 0 : 4;
}
