#include "TypedInput.h"

#include "ServerAddress.h"
#include "platform/Cp932.h"

#include <QList>

namespace {

// The character at `i` (a surrogate pair whole) and its length.
QString characterAt(const QString &text, qsizetype i)
{
    return text.mid(i, text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1);
}

// How a character is named in a message: blanks and control characters cannot be seen.
QString shown(const QString &character)
{
    if (character == u" ")
        return QStringLiteral("空白");
    if (character == u"\t")
        return QStringLiteral("タブ");
    if (character == u"\r" || character == u"\n")
        return QStringLiteral("改行");
    if (character.size() == 1 && (character[0].unicode() < 0x20 || character[0].unicode() == 0x7F))
        return QStringLiteral("制御文字");
    return QStringLiteral("「%1」").arg(character);
}

bool inAddress(const QString &character)
{
    if (character.size() != 1)
        return false;
    const char16_t u = character[0].unicode();
    return u > 0x20 && u < 0x7F && !QStringView(u"<>()[]\\,;:\"").contains(QChar(u));
}

// Where the address of one entry lies: inside the last "<…>", else the whole entry.
struct Entry
{
    qsizetype start, end;               // in the text
    qsizetype addressStart, addressEnd; // the address, brackets not included
};

Entry entryOf(const QString &text, qsizetype start, qsizetype end)
{
    const QStringView part = QStringView(text).mid(start, end - start);
    const qsizetype lt = part.lastIndexOf(u'<');
    const qsizetype gt = part.lastIndexOf(u'>');
    if (lt >= 0 && gt > lt)
        return {start, end, start + lt + 1, start + gt};
    return {start, end, start, end};
}

// The entries of an address list, split as the mail is: at commas and semicolons outside quotes
// and angle brackets.
QList<Entry> entries(const QString &text, bool several)
{
    QList<Entry> list;
    bool quoted = false;
    int angle = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch == u'"')
            quoted = !quoted;
        else if (!quoted && ch == u'<')
            ++angle;
        else if (!quoted && ch == u'>' && angle > 0)
            --angle;
        else if (several && !quoted && angle == 0 && (ch == u',' || ch == u';')) {
            list.append(entryOf(text, start, i));
            start = i + 1;
        }
    }
    list.append(entryOf(text, start, text.size()));
    return list;
}

} // namespace

namespace TypedInput {

QString narrowed(const QString &text)
{
    QString out = text;
    for (QChar &ch : out) {
        const char16_t u = ch.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            ch = QChar(char16_t(u - 0xFF01 + 0x21));
        else if (u == 0x3000)
            ch = QChar(u' ');
    }
    return out;
}

Checked server(const QString &typed, bool pop3)
{
    Checked checked{narrowed(typed), QString()};
    if (checked.text.trimmed().isEmpty())
        return checked;
    // Blanks around it are passed over; inside, as control characters, they cannot be. The
    // settings file holds code page 932 only.
    const QString text = checked.text.trimmed();
    for (qsizetype i = 0; i < text.size();) {
        const QString character = characterAt(text, i);
        if (character[0].unicode() <= 0x20 || character[0].unicode() == 0x7F
            || Cp932::toUnicode(Cp932::fromUnicode(character)) != character) {
            checked.problem = QStringLiteral("サーバー名に使えない文字（%1）が含まれています").arg(shown(character));
            return checked;
        }
        i += character.size();
    }
    const ServerAddress address = ServerAddress::parse(Cp932::fromUnicode(checked.text), pop3);
    if (!address.valid)
        checked.problem = address.problem;
    return checked;
}

Checked addresses(const QString &typed, bool several)
{
    const QString narrow = narrowed(typed);
    Checked checked{narrow, QString()};
    // The structure is read from the narrowed text (full-width brackets and commas count), which
    // is as long as the typed one: a name is put back as typed.
    const QList<Entry> list = entries(narrow, several);
    for (const Entry &e : list)
        for (qsizetype i = e.start; i < e.addressStart - 1; ++i)
            checked.text[i] = typed[i];
    for (const Entry &e : list) {
        const QString address = narrow.mid(e.addressStart, e.addressEnd - e.addressStart).trimmed();
        for (qsizetype i = 0; i < address.size();) {
            const QString character = characterAt(address, i);
            if (!inAddress(character)) {
                checked.problem = QStringLiteral("メールアドレスに使えない文字（%1）が含まれています").arg(shown(character));
                if (several && character == u"、")
                    checked.problem += QStringLiteral("。宛先を並べるときは「,」で区切って下さい");
                return checked;
            }
            i += character.size();
        }
    }
    return checked;
}

QString message(const QString &field, const Checked &checked)
{
    return QStringLiteral("「%1」の「%2」は使えません。\r\n%3。").arg(field, checked.text, checked.problem);
}

} // namespace TypedInput
