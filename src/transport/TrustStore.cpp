#include "TrustStore.h"

#include "platform/FileError.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QList>

namespace {

const QByteArray kHeading = "WanderpupTrust 1";

const struct
{
    int bit;
    const char *word;
} kProblemWords[] = {
    {ServerCertificate::Unvouched, "unvouched"},
    {ServerCertificate::Expired, "expired"},
    {ServerCertificate::NotYetValid, "notyetvalid"},
    {ServerCertificate::OtherName, "othername"},
};

QByteArray problemWords(int problems)
{
    QList<QByteArray> words;
    for (const auto &p : kProblemWords)
        if (problems & p.bit)
            words << p.word;
    return words.isEmpty() ? QByteArray("none") : words.join(',');
}

int problemBits(const QByteArray &words)
{
    int bits = 0;
    for (const QByteArray &word : words.split(','))
        for (const auto &p : kProblemWords)
            if (word == p.word)
                bits |= p.bit;
    return bits;
}

struct Line
{
    QByteArray key;
    TrustStore::Pin pin;
};

std::optional<Line> parse(const QByteArray &text)
{
    const QList<QByteArray> fields = text.trimmed().split(' ');
    if (fields.size() != 3 || fields[0].isEmpty())
        return std::nullopt;
    const QByteArray digest = QByteArray::fromHex(fields[1]);
    if (digest.size() != 32 || fields[1].size() != 64)
        return std::nullopt;
    return Line{fields[0], {digest, problemBits(fields[2])}};
}

} // namespace

QStringList ServerCertificate::reasons() const
{
    QStringList lines;
    if (problems & Unvouched)
        lines << QStringLiteral("信頼できる認証局がこの証明書を保証していません（自分で署名した証明書か、"
                                "私設の認証局が発行した証明書です）。");
    if (problems & Expired)
        lines << QStringLiteral("この証明書は有効期限が切れています（%1まで）。").arg(dateText(notAfter));
    if (problems & NotYetValid)
        lines << QStringLiteral("この証明書の有効期間はまだ始まっていません（%1から）。").arg(dateText(notBefore));
    if (problems & OtherName)
        lines << QStringLiteral("この証明書は接続先の「%1」のものではなく、別のサーバー名のものです。").arg(host);
    return lines;
}

QString ServerCertificate::dateText(const QDateTime &when)
{
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QStringLiteral("不明");
}

QString ServerCertificate::hex(const QByteArray &digest) { return QString::fromLatin1(digest.toHex(':').toUpper()); }

namespace TrustStore {

QString path() { return ProgramFolder::resolve(QStringLiteral("★MailData/trustedcerts.txt")); }

QString key(const std::string &host, int port)
{
    const QString name = QString::fromStdString(host).toLower();
    return (name.contains(u':') ? u'[' + name + u']' : name) + u':' + QString::number(port);
}

std::optional<Pin> find(const QString &file, const QString &key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = f.readAll().split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != kHeading)
        return std::nullopt;
    const QByteArray wanted = key.toUtf8();
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (const std::optional<Line> line = parse(lines[i]); line && line->key == wanted)
            return line->pin;
    return std::nullopt;
}

int trust(const QString &file, const ServerCertificate &certificate)
{
    const QByteArray mine = certificate.key.toUtf8();
    QByteArray text = kHeading + "\r\n";
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = f.readAll().split('\n');
        if (!lines.isEmpty() && lines.first().trimmed() == kHeading)
            for (qsizetype i = 1; i < lines.size(); ++i)
                if (const std::optional<Line> line = parse(lines[i]); line && line->key != mine)
                    text += lines[i].trimmed() + "\r\n";
        f.close();
    }
    text += mine + ' ' + certificate.sha256.toHex() + ' ' + problemWords(certificate.problems) + "\r\n";
    return FileError::replaceFile(file, text);
}

bool accepts(const std::optional<Pin> &pin, ServerCertificate &certificate)
{
    if (!pin)
        return false;
    certificate.trustedSha256 = pin->sha256;
    return pin->sha256 == certificate.sha256 && (certificate.problems & ~pin->accepted) == 0;
}

} // namespace TrustStore
