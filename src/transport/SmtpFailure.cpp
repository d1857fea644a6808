#include "SmtpFailure.h"

#include "ServerAddress.h"
#include "platform/Cp932.h"

QString SmtpFailure::text() const
{
    switch (kind) {
    case Kind::BadServer:
    {
        const ServerAddress parsed = ServerAddress::parse(Cp932::fromUnicode(detail), false);
        if (!parsed.problem.isEmpty())
            return QStringLiteral("SMTPサーバーの指定「%1」が正しくありません（%2）。").arg(parsed.display, parsed.problem);
        return QStringLiteral("SMTPサーバーの指定「%1」が正しくありません。").arg(parsed.display);
    }
    case Kind::NoRecipient:
        return QStringLiteral("宛先が入力されていません。");
    case Kind::BadRecipient:
        return QStringLiteral("宛先「%1」はメールアドレスとして正しくありません。").arg(detail);
    case Kind::BadSender:
        return QStringLiteral("差出人のメールアドレス「%1」が正しくありません。").arg(detail);
    case Kind::FileMissing:
        return QStringLiteral("添付ファイル「%1」が見つかりません。").arg(detail);
    case Kind::FileUnreadable:
        return QStringLiteral("添付ファイル「%1」を読み込めません。").arg(detail);
    case Kind::Unreachable:
        return QStringLiteral("SMTPサーバー「%1」に接続できません。%2").arg(server, detail);
    case Kind::RecipientRefused:
        return QStringLiteral("宛先のアドレスがSMTPサーバー「%1」に受け付けられませんでした。\r\nサーバーの応答: %2")
            .arg(server, detail);
    case Kind::SenderRefused:
        return QStringLiteral(
                   "差出人のアドレスがSMTPサーバー「%1」に受け付けられませんでした。\r\nサーバーの応答: %2")
            .arg(server, detail);
    case Kind::Dialogue:
        break;
    }
    return detail;
}

bool SmtpFailure::quotesServer() const
{
    return kind == Kind::RecipientRefused || kind == Kind::SenderRefused || kind == Kind::Dialogue;
}
