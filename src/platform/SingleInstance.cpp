#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray kRaise = "raise\n";

// The folder as the file system knows it, so that two spellings of one folder share one lock.
QString canonical(const QString &folder)
{
    const QString path = QFileInfo(folder).canonicalFilePath();
    return path.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : path;
}

QByteArray key(const QString &folder)
{
    return QCryptographicHash::hash(canonical(folder).toUtf8(), QCryptographicHash::Sha1).toHex().left(20);
}

int openLock(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Close-on-exec: a browser the program starts must not keep the folder locked after us.
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) // another user's lock file: a read-only descriptor locks just as well
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    return fd;
}

} // namespace

SingleInstance::SingleInstance(const QString &programFolder, QObject *parent)
    : QObject(parent), m_folder(canonical(programFolder))
{
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops the lock
}

QString SingleInstance::lockFile() const { return m_folder + QStringLiteral("/.wanderpup.lock"); }

QString SingleInstance::serverName() const { return QStringLiteral("wanderpup-") + QString::fromLatin1(key(m_folder)); }

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    int fd = openLock(lockFile());
    if (fd < 0) // a folder we may not write to: lock a file named after it instead
        fd = openLock(QDir::tempPath() + QStringLiteral("/wanderpup-") + QString::fromLatin1(key(m_folder))
                      + QStringLiteral(".lock"));
    if (fd < 0)
        return true;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held; // a file system without locks must not keep the program from starting
    }
    m_fd = fd;
    // The owner's process number, for a person who wonders who holds the folder.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.constData(), size_t(pid.size())) < 0) {
        // A read-only lock file still locks.
    }
    listen();
    return true;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    // An abstract socket name leaves no file behind that a crash could strand.
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!m_server->listen(serverName()))
        return; // the program still runs; a later start just cannot raise it
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto read = [this, socket] {
                if (socket->canReadLine() && socket->readLine(64) == kRaise)
                    emit raiseRequested();
            };
            connect(socket, &QLocalSocket::readyRead, this, read);
            read(); // the request may have come with the connection
        }
    });
}

bool SingleInstance::askOwnerToRaise(int timeoutMs)
{
    // No answer is awaited: the owner may be busy in a mail check and raises when it is done.
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kRaise);
    const bool sent = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    return sent;
}
