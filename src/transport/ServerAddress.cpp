#include "ServerAddress.h"

#include "platform/Cp932.h"

#include <QUrl>

namespace {

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

bool nameChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.'
           || u == '_';
}

bool v6Char(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == ':' || u == '.';
}

// A zone after '%' (fe80::1%eth0) names an interface.
bool validV6(const QString &host)
{
    const int zone = int(host.indexOf(QLatin1Char('%')));
    const QString address = zone >= 0 ? host.left(zone) : host;
    if (address.count(QLatin1Char(':')) < 2)
        return false;
    for (QChar c : address)
        if (!v6Char(c))
            return false;
    if (zone >= 0) {
        const QString name = host.mid(zone + 1);
        if (name.isEmpty())
            return false;
        for (QChar c : name)
            if (!nameChar(c))
                return false;
    }
    return true;
}

} // namespace

ServerAddress ServerAddress::parse(const QByteArray &text, bool pop3)
{
    ServerAddress a;
    QString s = Cp932::toUnicode(text);
    while (!s.isEmpty() && isBlank(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    QString shown = s;
    for (QChar &c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar(0xFFFD);
    a.display = shown;
    const auto refuse = [&](const QString &why) {
        a.valid = false;
        a.problem = why;
        return a;
    };
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return refuse(QStringLiteral("改行や制御文字が含まれています"));
    if (s.isEmpty())
        return refuse(QStringLiteral("サーバー名がありません"));

    bool tlsScheme = false;
    const int scheme = int(s.indexOf(QStringLiteral("://")));
    if (scheme >= 0) {
        const QString prefix = s.left(scheme).toLower();
        s = s.mid(scheme + 3);
        if (prefix == QLatin1String("pop3s") || prefix == QLatin1String("pops") || prefix == QLatin1String("smtps")
            || prefix == QLatin1String("ssl") || prefix == QLatin1String("tls"))
            tlsScheme = true;
        else if (prefix == QLatin1String("pop3+plain") || prefix == QLatin1String("pop+plain")
                 || prefix == QLatin1String("smtp+plain"))
            a.plain = true;
        else if (prefix != QLatin1String("pop3") && prefix != QLatin1String("pop") && prefix != QLatin1String("smtp"))
            return refuse(QStringLiteral("「%1://」は使えません").arg(prefix));
        if (s.endsWith(QLatin1Char('/')))
            s.chop(1);
    }
    // "user@host" as some mailers write it: the user part is not ours to use.
    if (s.contains(QLatin1Char('@')))
        s = s.section(QLatin1Char('@'), -1);

    QString host;
    QString port;
    bool hasPort = false;
    if (s.startsWith(QLatin1Char('['))) {
        const int close = int(s.indexOf(QLatin1Char(']')));
        if (close < 0)
            return refuse(QStringLiteral("「]」がありません"));
        host = s.mid(1, close - 1);
        const QString rest = s.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return refuse(QStringLiteral("「]」の後にはポート番号だけが書けます"));
            port = rest.mid(1);
            hasPort = true;
        }
        if (!validV6(host))
            return refuse(QStringLiteral("IPv6アドレスが正しくありません"));
    } else if (s.count(QLatin1Char(':')) >= 2) {
        host = s; // an IPv6 address without brackets cannot carry a port
        if (!validV6(host))
            return refuse(QStringLiteral("IPv6アドレスが正しくありません"));
    } else {
        const int colon = int(s.indexOf(QLatin1Char(':')));
        host = colon >= 0 ? s.left(colon) : s;
        if (colon >= 0) {
            port = s.mid(colon + 1);
            hasPort = true;
        }
        if (host.isEmpty())
            return refuse(QStringLiteral("サーバー名がありません"));
        bool ascii = true;
        for (QChar c : host)
            ascii = ascii && c.unicode() < 0x80;
        if (!ascii) {
            const QByteArray ace = QUrl::toAce(host);
            if (ace.isEmpty())
                return refuse(QStringLiteral("サーバー名に使えない文字が含まれています"));
            host = QString::fromLatin1(ace);
        }
        for (QChar c : host)
            if (!nameChar(c))
                return refuse(QStringLiteral("サーバー名に使えない文字（「%1」）が含まれています").arg(c));
    }

    bool ok = true;
    if (hasPort) {
        for (QChar c : port)
            ok = ok && c.unicode() >= '0' && c.unicode() <= '9';
        const int number = ok && !port.isEmpty() && port.size() <= 5 ? port.toInt(&ok) : 0;
        if (!ok || number < 1 || number > 65535)
            return refuse(QStringLiteral("ポート番号は1から65535までの数で書いて下さい"));
        a.port = number;
    } else {
        a.port = pop3 ? (tlsScheme ? 995 : 110) : (tlsScheme ? 465 : 25);
    }
    if (a.plain && tlsScheme)
        return refuse(QStringLiteral("暗号化の指定が矛盾しています"));
    a.implicitTls = !a.plain && (tlsScheme || a.port == (pop3 ? 995 : 465));
    a.host = host.toStdString();
    a.display = (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
                    .arg(host, QString::number(a.port));
    a.valid = true;
    return a;
}
