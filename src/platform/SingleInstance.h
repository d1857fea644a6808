#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One program per program folder: two would write the same history files at once. The first
// start holds an advisory lock on a file in the folder; the kernel drops it when the process
// ends, however it ends, so a crash leaves nothing that blocks the next start. A later start asks
// the first one, over a local socket named after the folder, to bring its main window forward.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &programFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process now owns the folder (or when there is nowhere to keep a lock, which
    // must not keep the program from starting); false when another process owns it.
    bool acquire();
    // Asks the owner to raise its main window; false when no owner could be told.
    bool askOwnerToRaise(int timeoutMs = 3000);

    QString lockFile() const;

signals:
    void raiseRequested();

private:
    QString serverName() const;
    void listen();

    QString m_folder;
    int m_fd = -1;
    QLocalServer *m_server = nullptr;
};
