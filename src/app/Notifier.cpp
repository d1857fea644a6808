#include "Notifier.h"

#include "app/ProgramStart.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QImage>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// The picture itself, for a service that cannot find the program's icon by its name (a
// program that is not installed has none in the icon theme).
struct ImageData
{
    int width = 0, height = 0, rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8, channels = 4;
    QByteArray data;
};

QDBusArgument &operator<<(QDBusArgument &argument, const ImageData &image)
{
    argument.beginStructure();
    argument << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
             << image.channels << image.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ImageData &image)
{
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample
        >> image.channels >> image.data;
    argument.endStructure();
    return argument;
}

ImageData iconImage()
{
    const QImage picture = ProgramStart::icon().pixmap(64, 64).toImage().convertToFormat(QImage::Format_RGBA8888);
    ImageData image;
    image.width = picture.width();
    image.height = picture.height();
    image.rowStride = int(picture.bytesPerLine());
    image.data = QByteArray(reinterpret_cast<const char *>(picture.constBits()), picture.sizeInBytes());
    return image;
}

// The service may read markup in the body: texts from mail are shown as written.
QString plain(QString text)
{
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    return text;
}

} // namespace

Q_DECLARE_METATYPE(ImageData)

Notifier::Notifier(QObject *parent) : QObject(parent)
{
    qDBusRegisterMetaType<ImageData>();
}

QString Notifier::title(int count)
{
    return QStringLiteral("新着メール %1件").arg(count);
}

QString Notifier::body(const QList<Mail> &newest)
{
    QStringList lines;
    for (qsizetype i = newest.size() - 1; i >= 0 && lines.size() < 3; --i)
        lines.append(plain(newest[i].from.simplified()) + QStringLiteral("\n　") + plain(newest[i].subject.simplified()));
    return lines.join(u'\n');
}

void Notifier::newMail(int count, const QList<Mail> &newest)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!m_listening) {
        m_listening = bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                                  SLOT(actionInvoked(uint, QString)));
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("example.wanderpup.wanderpup"));
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    hints.insert(QStringLiteral("image-data"), QVariant::fromValue(iconImage()));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Wanderpup") << m_shown << QStringLiteral("wanderpup") << title(count) << body(newest)
         << QStringList{QStringLiteral("default"), QStringLiteral("開く")} << hints << -1;
    // Never waits for the service: one that hangs must not hold the windows.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        if (!reply.isError())
            m_shown = reply.value();
        w->deleteLater();
    });
}

void Notifier::actionInvoked(uint id, const QString &)
{
    if (id != 0 && id == m_shown)
        emit activated();
}
