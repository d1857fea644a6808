#include "SendRules.h"

#include "platform/RandomSource.h"
#include "platform/TextRules.h"
#include "receive/MailScan.h"

#include <QStringList>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

namespace SendRules {

const QString &fortuneHeading()
{
    static const QString heading = QStringLiteral(
        "★★★　この占いは アトランダムにチョイスしたものです（だからこそ占い♪）　送信者にも内容は判りませんので、"
        "あしからず・・・当たるも八卦、当たらぬも八卦。★★★");
    return heading;
}

QString fortuneText(int k)
{
    static const char16_t *const texts[FortuneCount] = {
        u"大吉：万事に良し！　慎重さを忘れず、尚かつアクティブに行動すれば、これまで停滞していた問題が次々と解決されて"
        u"行きます。",
        u"大吉：思わぬ金運！！　浪費せず生きたお金の使い方を心がければ、これからも金運が上昇！",
        u"大吉：人間関係に好転あり。誤解から生じていた軋轢（あつれき）も解消し、お互いが良く見えるようになって行きます"
        u"。",
        u"中吉：正しく可もなく不可もなし。凶事のなきことを素直に喜ぶべし。そうすれば尚運が開けます。",
        u"中吉：ほのぼの、小さな幸福感を味わえる一日。その満足を他人にも分け与えれば、明日は更に運気アップ！",
        u"中吉：万事スムーズ。しかし油断をすればたちまちにして運気下降。恐れぬことも大事ではあるが、謙虚さを忘れずに判"
        u"断・行動をすべし。",
        u"中吉：両親からの教えを胸に刻んで行動すれば、意外なほどの好調に思わずニンマリ！　",
        u"中吉：ショッピングでのストレス発散が好転の契機となる。それでも浪費に注意。本当に必要な物に限定すべし。",
        u"吉：あなたの人柄で救われる局面有り。友人を大切にすれば、思わぬ人と再会するでしょう。",
        u"吉：紛失していたにもかかわらず気づいてなかった品物が、突然手元に戻ってきます。忘れていたけど、案外大切なもの"
        u"・・・物とは限りません。",
        u"凶：鬼門「北東」注意！　部屋の北東に一掴みの盛り塩をし、お世話になった人たちに感謝の意を心に強く念じれば、吉"
        u"に転じます。",
        u"凶：言動慎むべし。最大の配慮がなければ、運気、万事下降するおそれ有り。",
    };
    if (k < 1 || k > FortuneCount)
        return QString();
    return QString::fromUtf16(texts[k - 1]);
}

int fortuneNumberFor(double r)
{
    const float single = float(r);
    const int k = int(single * 12.0f + 1.0f);
    return qBound(1, k, FortuneCount);
}

int drawFortune()
{
    RandomSource::reseedFromClock();
    return fortuneNumberFor(RandomSource::next());
}

QString fortuneBlock(int k)
{
    return kCrLf + kCrLf + fortuneHeading() + kCrLf + kCrLf + fortuneText(k);
}

QString markerBlock(int dog)
{
    const QString marker = MailScan::markerText(dog);
    return marker.isEmpty() ? QString() : kCrLf.repeated(4) + marker;
}

QString outgoingBody(const QString &body, int fortune, int dog)
{
    QString out = body;
    if (fortune >= 1 && fortune <= FortuneCount)
        out += fortuneBlock(fortune);
    out += markerBlock(dog);
    return out;
}

QString typedBody(const QString &sent)
{
    // An ISO-2022-JP text part ends in a line end of its own.
    QStringList candidates{sent};
    if (sent.endsWith(kCrLf))
        candidates.append(sent.chopped(2));
    for (QString body : candidates) {
        const qsizetype before = body.size();
        for (int dog = 1; dog <= 10; ++dog) {
            if (body.endsWith(markerBlock(dog))) {
                body.chop(markerBlock(dog).size());
                break;
            }
        }
        for (int k = 1; k <= FortuneCount; ++k) {
            if (body.endsWith(fortuneBlock(k))) {
                body.chop(fortuneBlock(k).size());
                break;
            }
        }
        if (body.size() != before)
            return body;
    }
    return sent;
}

const std::array<DogOption, 11> DogOptions = {{
    {"Option3", 1, u"１", u"犬送信、①が選択されました"},
    {"Option4", 2, u"２", u"犬送信、②が選択されました"},
    {"Option5", 3, u"３", u"犬送信、③が選択されました"},
    {"Option6", 4, u"４", u"犬送信、④が選択されました"},
    {"Option7", 5, u"５", u"犬送信、⑤が選択されました"},
    {"Option8", 0, u"送らない", u"犬は送らないが選択されました"},
    {"Option9", 6, u"６", u"犬送信、⑥が選択されました"},
    {"Option10", 7, u"７", u"犬送信、⑦が選択されました"},
    {"Option11", 8, u"８", u"犬送信、⑧が選択されました"},
    {"Option12", 9, u"９", u"犬送信、⑨が選択されました"},
    {"Option13", 10, u"１０", u"犬送信、⑩が選択されました"},
}};

const DogOption &optionOfDog(int dog)
{
    for (const DogOption &option : DogOptions)
        if (option.dog == dog)
            return option;
    return DogOptions[5];
}

Extras applyExclusivity(Extras extras)
{
    if (extras.bulk) {
        extras.fortune = false;
        extras.dog = 0;
    }
    if (extras.dog != 0) {
        extras.fortune = false;
        extras.bulk = false;
    }
    if (extras.fortune) {
        extras.dog = 0;
        extras.bulk = false;
    }
    return extras;
}

HistoryRecord sentRecord(const QString &subject, const QString &date, const QString &to, const QString &body)
{
    return HistoryRecord::make(TextRules::trimSpaces(subject), date, TextRules::trimSpaces(to),
                               TextRules::trimSpaces(body));
}

QString withCrLf(QString text)
{
    return text.replace(u'\n', kCrLf);
}

QString withLf(QString text)
{
    text.replace(kCrLf, QStringLiteral("\n"));
    return text.replace(u'\r', u'\n');
}

} // namespace SendRules
