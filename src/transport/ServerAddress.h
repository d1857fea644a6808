#pragma once

#include <QByteArray>
#include <QString>

#include <string>

// A server as the user writes it in the settings:
//   host   host:port   [v6]   [v6]:port   (an IPv6 address without brackets takes the default port)
// optionally after a scheme: pop3:// pop:// smtp:// (TLS by STLS/STARTTLS), pop3s:// pops://
// smtps:// ssl:// tls:// (TLS from the first byte), or pop3+plain:// smtp+plain:// (no
// encryption at all: the password goes in clear, so only where the user chose that). Ports 995
// and 465 also mean TLS from the first byte; default ports 110 and 25 (995 and 465 for the TLS
// schemes). Anything else (a path, text after the port, an unclosed bracket, blanks or control
// characters, an unknown scheme) is refused with a reason.
struct ServerAddress
{
    std::string host; // ASCII: a name (IDN in its ACE form) or an IP address without brackets
    int port = 0;
    bool implicitTls = false;
    bool plain = false; // the user chose no encryption
    bool valid = false;
    QString display; // host:port as the user reads it in failure texts
    QString problem; // why the text is not a server, in Japanese; empty when valid

    static ServerAddress parse(const QByteArray &text, bool pop3);
};
