#include "VmimeTransport.h"

#include "MimeReader.h"
#include "MimeWriter.h"
#include "Pop3Reader.h"
#include "ServerAddress.h"
#include "SmtpFailure.h"
#include "SmtpLogin.h"
#include "VmimeSession.h"
#include "platform/Cp932.h"

#include <QDir>
#include <QFile>

#include <vmime/net/smtp/SMTPCommand.hpp>
#include <vmime/net/smtp/SMTPConnection.hpp>
#include <vmime/net/smtp/SMTPTransport.hpp>
#include <vmime/vmime.hpp>

#include <climits>
#include <map>
#include <optional>
#include <set>

namespace {

struct Pop3Connection
{
    ServerAddress server;
    std::unique_ptr<TcpLine> line; // dialled by the connect call, spoken on from the login
    vmime::shared_ptr<vmime::net::store> store;
    std::shared_ptr<WireGuard> guard;
    // After the login the dialogue is ours (see Pop3Reader).
    std::unique_ptr<Pop3Reader::Wire> wire;
    std::unique_ptr<Pop3Reader> reader;
    bool broken = false;
    int count = 0;
    int cachedNumber = 0;
    // The mail last retrieved, read once for the status, retrieval and attachment calls.
    std::shared_ptr<MimeReader::Message> cached;
    std::set<int> toDelete; // sent at close, pipelined where the server can
};

void handOut(const MimeReader::Mail &mail, QByteArray &subject, QByteArray &date, QByteArray &from, QByteArray &header,
             QByteArray &body)
{
    subject = mail.subject;
    date = mail.date;
    from = mail.from;
    header = mail.header;
    body = mail.body;
}

QString fromStd(const std::string &s) { return VmimeSession::quoted(s); }

} // namespace

struct VmimeTransport::Impl
{
    VmimeSession session;
    QByteArray lastMessage;
    std::optional<ServerCertificate> refused; // by the last login or send
    QByteArray smtpId;
    QByteArray smtpPassword;
    std::map<int, Pop3Connection> connections;
    int nextHandle = 1;
    // The last mail retrieved on each connection, kept for the attachment decoding, which gets
    // the mail only as rebuilt text. Small: one mail per handle, a few handles.
    std::map<int, std::shared_ptr<MimeReader::Message>> lastRaw;
    QStringList lastWritten; // by the last attachment decoding

    void fail(const QString &text, const QByteArray &secret = {})
    {
        QByteArray bytes = Cp932::fromUnicode(text);
        if (secret.size() >= 1)
            bytes.replace(secret, "****");
        lastMessage = bytes;
    }

    QString describe(const std::exception &e, const Pop3Connection &c) const
    {
        return session.describe(e, QStringLiteral("POP3"), c.server, c.guard.get());
    }

    // A connection that failed is not spoken on again, and not waited on at its end either.
    static void markBroken(Pop3Connection &c)
    {
        c.broken = true;
        c.cachedNumber = 0;
        c.cached.reset();
        if (c.guard)
            c.guard->cut();
    }

    // Drops the connection: nothing more is sent or awaited on it (QUIT went out, or it is dead).
    static void hangUp(Pop3Connection &c)
    {
        if (c.guard)
            c.guard->cut();
        try {
            if (c.store && c.store->isConnected())
                c.store->disconnect();
        } catch (...) {
        }
    }

    Pop3Connection *connection(int handle)
    {
        auto it = connections.find(handle);
        if (it == connections.end()) {
            fail(QStringLiteral("POP3サーバーに接続していません。"));
            return nullptr;
        }
        return &it->second;
    }

    // Retrieves mail `number` whole (once; the status, size and retrieval calls share it).
    bool fetch(int handle, Pop3Connection &c, int number)
    {
        if (c.cachedNumber == number && number > 0)
            return true;
        if (c.broken || !c.reader) {
            fail(QStringLiteral("POP3サーバー「%1」との接続が切れています。").arg(c.server.display));
            return false;
        }
        if (number < 1 || number > c.count) {
            fail(QStringLiteral("%1番のメールはサーバーにありません。").arg(number));
            return false;
        }
        try {
            c.cached = std::make_shared<MimeReader::Message>(c.reader->retrieve(number));
            c.cachedNumber = number;
            lastRaw[handle] = c.cached;
            return true;
        } catch (const Pop3Reader::Refused &e) {
            // The server refused this one mail ("-ERR"); the connection itself is fine.
            fail(QStringLiteral("%1番のメールを受信できませんでした。\r\nサーバーの応答: %2")
                     .arg(number)
                     .arg(fromStd(e.reply())));
            return false;
        } catch (const Pop3Reader::MailUnusable &e) {
            if (e.why == Pop3Reader::MailUnusable::Short)
                fail(QStringLiteral("%1番のメールは、サーバーが知らせた大きさ（%2バイト）より短い%3バイトしか"
                                    "届かなかったため、受信できませんでした。")
                         .arg(number)
                         .arg(e.announced)
                         .arg(e.received));
            else
                fail(QStringLiteral("%1番のメールは大きすぎるため（%2バイト）、受信しませんでした。")
                         .arg(number)
                         .arg(e.announced));
            return false;
        } catch (const std::exception &e) {
            fail(describe(e, c));
            markBroken(c); // a cut, silent or misbehaving connection is not used again
            return false;
        }
    }

    // DELE for every mail marked on the connection; the server removes them at QUIT. Returns
    // how many it refused.
    int sendDeletions(Pop3Connection &c)
    {
        std::string reply;
        const int refused = c.reader->deleteMails({c.toDelete.begin(), c.toDelete.end()}, reply);
        if (refused)
            fail(QStringLiteral(
                     "POP3サーバー「%1」が%2通のメールの削除を受け付けませんでした。\r\nサーバーの応答: %3")
                     .arg(c.server.display, QString::number(refused), fromStd(reply)));
        return refused;
    }

    // Sends one mail; nothing when it went out. `sent` gets the mail as handed over.
    std::optional<SmtpFailure> send(const QByteArray &serverText, const MimeWriter::Outgoing &mail,
                                    QByteArray *sent = nullptr);
};

VmimeTransport::VmimeTransport() : d(std::make_unique<Impl>()) {}

VmimeTransport::~VmimeTransport() { NMailEndWinSock(); }

void VmimeTransport::NMailInitializeWinSock() {}
void VmimeTransport::NMailSetOption(int, int) {}

void VmimeTransport::setTimeout(int milliseconds) { d->session.setTimeout(milliseconds); }

void VmimeTransport::setWaitHook(std::function<void()> hook) { d->session.setWaitHook(std::move(hook)); }

void VmimeTransport::setSmtpCredentials(const QByteArray &id, const QByteArray &password)
{
    d->smtpId = id;
    d->smtpPassword = password;
}

void VmimeTransport::setTrustFile(const QString &path) { d->session.setTrustFile(path); }

int VmimeTransport::NMailPop3Connect(const QByteArray &serverText)
{
    const ServerAddress server = ServerAddress::parse(serverText, true);
    if (!server.valid) {
        d->fail(QStringLiteral("POP3サーバーの指定「%1」が正しくありません（%2）。")
                    .arg(server.display, server.problem));
        return -1;
    }
    VmimeSession::Reach reach = VmimeSession::Reach::Reached;
    std::unique_ptr<TcpLine> line = d->session.dial(server, reach);
    if (!line) {
        d->fail(QStringLiteral("POP3サーバー「%1」に接続できません。%2")
                    .arg(server.display, d->session.reachText(reach)));
        return -1;
    }
    const int handle = d->nextHandle++;
    d->connections[handle].server = server;
    d->connections[handle].line = std::move(line);
    return handle;
}

int VmimeTransport::NMailPop3Authenticate(int handle, const QByteArray &id, const QByteArray &password,
                                          int apopFlag)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (c->store) {
        d->fail(QStringLiteral("すでにログインしています。"));
        return -1;
    }
    d->refused.reset();
    try {
        c->store = d->session.pop3Store(c->server, std::move(c->line), c->guard);
        const bool apop = apopFlag != 0;
        c->store->setProperty("options.apop", apop);
        c->store->setProperty("options.apop.fallback", false); // never send an APOP password in clear
        c->store->setProperty("options.sasl", false);          // or VMime logs in with PLAIN instead
        c->store->setProperty("options.sasl.fallback", false);
        c->store->setProperty("auth.username", id.toStdString());
        c->store->setProperty("auth.password", password.toStdString());
        c->store->connect();
        // From here on the dialogue is ours, with bounds of its own.
        c->guard->setLibraryBounds(false);
        c->wire = VmimeSession::pop3Wire(c->store, c->guard);
        c->reader = std::make_unique<Pop3Reader>(*c->wire, d->session.timeoutMs());
        c->count = c->reader->start();
        return c->count;
    } catch (const std::exception &e) {
        d->fail(d->describe(e, *c), password);
        d->refused = VmimeSession::refusedCertificate(e);
        Impl::markBroken(*c);
        Impl::hangUp(*c);
        c->reader.reset();
        c->wire.reset();
        c->store.reset();
        return -1;
    }
}

int VmimeTransport::NMailPop3GetMailStatus(int handle, int number, QByteArray &subject, QByteArray &date,
                                           QByteArray &from, QByteArray &header, int)
{
    // Status and retrieval share one fetch of the mail; the body is simply not handed back.
    QByteArray body;
    return NMailPop3GetMail(handle, number, subject, date, from, header, body, 0, 0);
}

int VmimeTransport::NMailPop3GetMailSize(int handle, int number)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (c->cachedNumber == number && number > 0 && c->cached)
        return int(c->cached->raw().size());
    const qint64 announced = c->reader && number >= 1 && number <= c->count ? c->reader->announcedSize(number) : -1;
    if (c->broken || announced < 0 || announced > INT_MAX) {
        d->fail(QStringLiteral("%1番のメールの大きさを調べられません。").arg(number));
        return -1;
    }
    return int(announced);
}

int VmimeTransport::NMailPop3GetMail(int handle, int number, QByteArray &subject, QByteArray &date,
                                     QByteArray &from, QByteArray &header, QByteArray &body, int, int)
{
    subject.clear();
    date.clear();
    from.clear();
    header.clear();
    body.clear();
    Pop3Connection *c = d->connection(handle);
    if (!c || !d->fetch(handle, *c, number))
        return -1;
    handOut(c->cached->mail(), subject, date, from, header, body);
    return 0;
}

int VmimeTransport::NMailAttachmentFileFirst(int, QByteArray &, QByteArray &, QByteArray &,
                                             QByteArray &header, QByteArray &, const QString &folder,
                                             const QString &, const QByteArray &mailText, int)
{
    std::shared_ptr<MimeReader::Message> message;
    // The header as the caller holds it may have been cut (at a NUL, or to its 8 KB buffer).
    const QByteArray given = MimeReader::headerBlock(header + "\r\n\r\n");
    for (auto it = d->lastRaw.rbegin(); it != d->lastRaw.rend() && !given.isEmpty(); ++it) {
        const QByteArray &stored = it->second->mail().header;
        if (stored == given || (given.size() >= 1024 && stored.startsWith(given))) {
            message = it->second;
            break;
        }
    }
    if (!message) {
        QByteArray raw = mailText;
        const int nul = int(raw.indexOf('\0'));
        if (nul >= 0)
            raw.truncate(nul);
        message = std::make_shared<MimeReader::Message>(raw);
    }
    QString target = folder;
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const int result = message->saveAttachments(target, &d->lastWritten);
    if (result == MimeReader::CannotWrite)
        d->fail(QStringLiteral("添付ファイルを「%1」に書き込めませんでした。")
                    .arg(QDir::toNativeSeparators(target)));
    else if (result == MimeReader::PartsMissing)
        d->fail(QStringLiteral("分割されたメールの残りの部分がこのメールにありません。"));
    return result;
}

int VmimeTransport::NMailAttachmentFileClose(int) { return 0; }

int VmimeTransport::NMailPop3DeleteMail(int handle, int number)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (!c->reader || !c->reader->retrieved(number)) {
        d->fail(QStringLiteral("%1番のメールは受信できていないため、サーバーから削除しませんでした。")
                    .arg(number));
        return -1;
    }
    if (c->broken) {
        d->fail(QStringLiteral("POP3サーバー「%1」との接続が切れています。").arg(c->server.display));
        return -1;
    }
    c->toDelete.insert(number);
    return 0;
}

QByteArray VmimeTransport::uniqueId(int handle, int number)
{
    const auto it = d->connections.find(handle);
    if (it == d->connections.end() || !it->second.reader)
        return {};
    return it->second.reader->uniqueId(number);
}

int VmimeTransport::deleteStoredMail(int handle, int number, const QByteArray &id)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (c->broken || !c->reader || id.isEmpty() || c->reader->uniqueId(number) != id) {
        d->fail(QStringLiteral("%1番のメールをサーバーから削除できませんでした。").arg(number));
        return -1;
    }
    c->reader->forget(number);
    c->toDelete.insert(number);
    return 0;
}

QStringList VmimeTransport::writtenAttachments() const { return d->lastWritten; }

bool VmimeTransport::pop3Usable(int handle)
{
    const auto it = d->connections.find(handle);
    return it != d->connections.end() && it->second.reader && !it->second.broken;
}

int VmimeTransport::NMailPop3Close(int handle)
{
    auto it = d->connections.find(handle);
    if (it == d->connections.end())
        return -1;
    Pop3Connection c = std::move(it->second);
    d->connections.erase(it);
    int result = 0;
    if (c.reader && !c.broken) {
        try {
            if (d->sendDeletions(c) > 0)
                result = -1;
            c.reader->quit(); // the deletions take effect
        } catch (const std::exception &e) {
            d->fail(d->describe(e, c));
            result = -1;
        }
    } else if (!c.toDelete.empty()) {
        d->fail(QStringLiteral("POP3サーバー「%1」との接続が切れたため、メールを削除できませんでした。")
                    .arg(c.server.display));
        result = -1;
    }
    Impl::hangUp(c);
    // Keep only a few closed connections' mails for the attachment decoding.
    while (d->lastRaw.size() > 4)
        d->lastRaw.erase(d->lastRaw.begin());
    return result;
}

std::optional<SmtpFailure> VmimeTransport::Impl::send(const QByteArray &serverText,
                                                      const MimeWriter::Outgoing &mail, QByteArray *sent)
{
    const ServerAddress server = ServerAddress::parse(serverText, false);
    if (!server.valid)
        return SmtpFailure{SmtpFailure::Kind::BadServer, Cp932::toUnicode(serverText), {}};
    SmtpFailure failure;
    QByteArray raw;
    QList<QByteArray> recipients;
    if (!MimeWriter::build(mail, raw, recipients, failure))
        return failure;
    failure.server = server.display;

    VmimeSession::Reach reach = VmimeSession::Reach::Reached;
    std::unique_ptr<TcpLine> line = session.dial(server, reach);
    if (!line) {
        failure.kind = SmtpFailure::Kind::Unreachable;
        failure.detail = session.reachText(reach);
        return failure;
    }
    vmime::shared_ptr<vmime::net::transport> transport;
    std::shared_ptr<WireGuard> guard;
    vmime::shared_ptr<vmime::net::smtp::SMTPConnection> connection;
    try {
        // One connection: greeting, EHLO, STARTTLS (required unless the plain form), EHLO again;
        // whether to log in is decided on what the server offers over TLS.
        transport = session.smtpTransport(server, std::move(line), guard);
        transport->setProperty("options.need-authentication", false);
        transport->setProperty("auth.username", smtpId.toStdString());
        transport->setProperty("auth.password", smtpPassword.toStdString());
        auto smtp = vmime::dynamicCast<vmime::net::smtp::SMTPTransport>(transport);
        try {
            transport->connect();
        } catch (...) {
            if (smtp)
                connection = smtp->getConnection();
            throw;
        }
        connection = smtp ? smtp->getConnection() : nullptr;
        const bool secured = server.implicitTls || (connection && connection->isSecuredConnection());
        if (!connection || (!secured && !server.plain)) {
            failure.detail = VmimeSession::unencryptedText(QStringLiteral("SMTP"), QStringLiteral("smtp"), server,
                                                           false, QString(), true);
            transport->disconnect();
            return failure;
        }
        // Log in only where the server offers AUTH: many relays have none.
        if (!smtpId.isEmpty() && !smtpPassword.isEmpty() && connection->hasExtension("AUTH"))
            SmtpLogin::logIn(smtp);
        // The mail itself may take its time on a slow line, in proportion to its size.
        guard->setAllowance(qint64(session.timeoutMs()) * 2 + raw.size() * 1000 / Pop3Reader::MinBytesPerSecond);
        vmime::mailboxList rcpts;
        for (const QByteArray &r : recipients)
            rcpts.appendMailbox(vmime::make_shared<vmime::mailbox>(vmime::emailAddress(r.toStdString())));
        const QByteArray sender = MimeWriter::addressOnly(mail.from);
        // VMime ends the data with CRLF "." CRLF itself; a line end of our own would add an
        // empty line to the mail.
        if (raw.endsWith("\r\n"))
            raw.chop(2);
        vmime::utility::inputStreamByteBufferAdapter is(reinterpret_cast<const vmime::byte_t *>(raw.constData()),
                                                        size_t(raw.size()));
        transport->send(vmime::mailbox(vmime::emailAddress(sender.toStdString())), rcpts, is,
                        size_t(raw.size()));
        // The mail is taken: QUIT goes out as the library would send it, and nothing more is
        // awaited (the library would wait a round trip for the end of TLS). The connection is
        // closed here; the library's own farewell then goes nowhere.
        connection->sendRequest(vmime::net::smtp::SMTPCommand::QUIT());
        guard->cut();
        transport.reset();
        if (sent)
            *sent = raw + "\r\n"; // the line end the end of the data gives it
        return std::nullopt;
    } catch (const vmime::exceptions::command_error &e) {
        const QString command = fromStd(e.command());
        failure.detail = fromStd(e.response());
        if (command.startsWith(QLatin1String("STARTTLS"), Qt::CaseInsensitive))
            failure.detail = VmimeSession::unencryptedText(QStringLiteral("SMTP"), QStringLiteral("smtp"), server,
                                                           connection && connection->hasExtension("STARTTLS"),
                                                           fromStd(e.response()), true);
        else if (command.startsWith(QLatin1String("RCPT"), Qt::CaseInsensitive))
            failure.kind = SmtpFailure::Kind::RecipientRefused;
        else if (command.startsWith(QLatin1String("MAIL"), Qt::CaseInsensitive))
            failure.kind = SmtpFailure::Kind::SenderRefused;
        else
            failure.detail = session.describe(e, QStringLiteral("SMTP"), server, guard.get());
    } catch (const std::exception &e) {
        failure.detail = session.describe(e, QStringLiteral("SMTP"), server, guard.get());
        refused = VmimeSession::refusedCertificate(e);
    }
    try {
        if (transport && transport->isConnected())
            transport->disconnect();
    } catch (...) {
    }
    return failure;
}

int VmimeTransport::NMailSmtpSendMail(const QByteArray &server, const QByteArray &to, const QByteArray &from,
                                      const QByteArray &subject, const QByteArray &body,
                                      const QString &attachments, int)
{
    const MimeWriter::Outgoing mail{Cp932::toUnicode(from), Cp932::toUnicode(to), Cp932::toUnicode(subject),
                                    Cp932::toUnicode(body), attachments};
    d->refused.reset();
    const std::optional<SmtpFailure> failure = d->send(server, mail);
    if (!failure)
        return 0;
    d->fail(failure->text(), failure->quotesServer() ? d->smtpPassword : QByteArray());
    return -1;
}

int VmimeTransport::sendMail(const QString &server, const MimeWriter::Outgoing &mail, QByteArray *sent)
{
    if (sent)
        sent->clear();
    d->refused.reset();
    const std::optional<SmtpFailure> failure = d->send(Cp932::fromUnicode(server), mail, sent);
    if (!failure)
        return 0;
    d->fail(failure->text(), failure->quotesServer() ? d->smtpPassword : QByteArray());
    return -1;
}

QByteArray VmimeTransport::retrievedMail(int handle, int number)
{
    const auto it = d->connections.find(handle);
    if (it == d->connections.end() || it->second.cachedNumber != number || number <= 0 || !it->second.cached)
        return {};
    return it->second.cached->raw();
}

int VmimeTransport::readKeptMail(const QByteArray &raw, QByteArray &subject, QByteArray &date, QByteArray &from,
                                 QByteArray &header, QByteArray &body)
{
    subject.clear();
    date.clear();
    from.clear();
    header.clear();
    body.clear();
    if (raw.isEmpty())
        return -1;
    // Held like the last mail of a connection, so that the attachment decoding finds it.
    auto message = std::make_shared<MimeReader::Message>(raw);
    d->lastRaw[0] = message;
    handOut(message->mail(), subject, date, from, header, body);
    return 0;
}

QByteArray VmimeTransport::NMailGetMessage() { return d->lastMessage; }

std::optional<ServerCertificate> VmimeTransport::refusedCertificate() const { return d->refused; }

void VmimeTransport::NMailEndWinSock()
{
    // Connections still open here were never closed by a check: dropped, not waited on.
    for (auto &[handle, c] : d->connections)
        Impl::hangUp(c);
    d->connections.clear();
}
