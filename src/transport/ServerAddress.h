#pragma once

#include <QByteArray>
#include <QString>

#include <string>

// A server as the user writes it in the settings: "host", "host:port", "[v6]:port", optionally
// with a pop3:// pop3s:// smtp:// smtps:// style prefix. pop3s/smtps (and ssl/tls) and the
// well-known TLS ports 995 and 465 mean TLS from the first byte; default ports 110 and 25.
struct ServerAddress
{
    std::string host;
    int port = 0;
    bool implicitTls = false;
    bool valid = false;
    QString display; // host:port as the user reads it in failure texts

    static ServerAddress parse(const QByteArray &text, bool pop3);
};
