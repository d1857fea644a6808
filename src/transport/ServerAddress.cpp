#include "ServerAddress.h"

#include "platform/Cp932.h"

ServerAddress ServerAddress::parse(const QByteArray &text, bool pop3)
{
    ServerAddress a;
    QString s = Cp932::toUnicode(text).trimmed();
    const int scheme = int(s.indexOf(QStringLiteral("://")));
    QString prefix;
    if (scheme >= 0) {
        prefix = s.left(scheme).toLower();
        s = s.mid(scheme + 3);
    }
    s = s.section(QLatin1Char('/'), 0, 0);
    if (s.contains(QLatin1Char('@')))
        s = s.section(QLatin1Char('@'), -1);
    QString host = s;
    QString port;
    if (s.startsWith(QLatin1Char('['))) {
        const int close = int(s.indexOf(QLatin1Char(']')));
        host = s.mid(1, close - 1);
        if (close > 0 && s.mid(close + 1).startsWith(QLatin1Char(':')))
            port = s.mid(close + 2);
    } else if (s.count(QLatin1Char(':')) == 1) {
        host = s.section(QLatin1Char(':'), 0, 0);
        port = s.section(QLatin1Char(':'), 1);
    }
    const bool tlsScheme = prefix == QLatin1String("pop3s") || prefix == QLatin1String("pops")
                           || prefix == QLatin1String("smtps") || prefix == QLatin1String("ssl")
                           || prefix == QLatin1String("tls");
    bool ok = true;
    a.port = port.isEmpty() ? (pop3 ? (tlsScheme ? 995 : 110) : (tlsScheme ? 465 : 25)) : port.toInt(&ok);
    a.implicitTls = tlsScheme || a.port == (pop3 ? 995 : 465);
    a.host = host.trimmed().toStdString();
    a.valid = ok && !a.host.empty() && a.port > 0 && a.port < 65536 && !host.contains(QLatin1Char(' '));
    a.display = QStringLiteral("%1:%2").arg(host.trimmed()).arg(a.port);
    return a;
}
