// Shows the window "証明書の確認" for a real certificate (a PEM file) on a real
// display, for screenshots: "first" as at the first contact, "changed" with a
// second PEM file as the one trusted before, "risky" expired and for another
// name. Prints the window's frame as "x y width height" once it is drawn and
// runs until it is ended.
#include "CertificateCheck.h"
#include "MailServers.h"
#include "app/CertificateForm.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QTimer>
#include <QWindow>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    // "risky": the certificate seen from another name, ten days on.
    const bool risky = mode == QLatin1String("risky");
    ServerCertificate certificate = CertificateCheck::examine(
        {MailServers::certificateDer(QString::fromLocal8Bit(argv[2]))}, risky ? "mail.example.jp" : "127.0.0.1", {},
        QDateTime::currentDateTimeUtc().addDays(risky ? 10 : 0));
    certificate.server = risky ? QStringLiteral("mail.example.jp:995") : QStringLiteral("127.0.0.1:10110");
    if (mode == QLatin1String("changed") && argc > 3)
        certificate.trustedSha256 = QCryptographicHash::hash(
            MailServers::certificateDer(QString::fromLocal8Bit(argv[3])), QCryptographicHash::Sha256);
    CertificateForm form(certificate);
    form.show();
    auto *poll = new QTimer(&app);
    int waited = 0, framedAt = -1;
    QObject::connect(poll, &QTimer::timeout, [&form, poll, &waited, &framedAt] {
        waited += 100;
        const QMargins m = form.windowHandle() ? form.windowHandle()->frameMargins() : QMargins();
        if (!m.isNull() && framedAt < 0)
            framedAt = waited;
        if ((framedAt < 0 || waited < qMax(framedAt + 700, 1500)) && waited < 8000)
            return;
        poll->stop();
        const QRect frame = form.frameGeometry();
        std::printf("%d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height());
        std::fflush(stdout);
    });
    poll->start(100);
    return QApplication::exec();
}
