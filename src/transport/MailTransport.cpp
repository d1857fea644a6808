#include "MailTransport.h"

#include "MimeReader.h"
#include "VmimeTransport.h"
#include "platform/Cp932.h"

namespace {

MailTransport *&installed()
{
    static MailTransport *t = nullptr;
    return t;
}

} // namespace

MailTransport &MailTransport::instance()
{
    if (!installed()) {
        static VmimeTransport standard;
        installed() = &standard;
    }
    return *installed();
}

void MailTransport::install(MailTransport *transport) { installed() = transport; }

int MailTransport::sendMail(const QString &server, const MimeWriter::Outgoing &mail, QByteArray *sent)
{
    if (sent)
        sent->clear();
    return NMailSmtpSendMail(Cp932::fromUnicode(server), Cp932::fromUnicode(mail.to), Cp932::fromUnicode(mail.from),
                             Cp932::fromUnicode(mail.subject), Cp932::fromUnicode(mail.body), mail.attachments, 0);
}

MailText MailTransport::readText(const QByteArray &raw) { return MimeReader::readText(raw); }
