// Mail charsets to and from code page 932. What goes out as ISO-2022-JP reads back as the same
// code page 932 text; nothing the mail brings crashes the conversion.
#include "FuzzInput.h"
#include "MailCharset.h"
#include "platform/Cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const charsets[] = {"",          "iso-2022-jp", "ISO-2022-JP-2", "shift_jis", "cp932",
                                           "euc-jp",    "utf-8",       "us-ascii",      "utf-16",    "iso-8859-1",
                                           "x-unknown", "windows-31j", "utf-7",         "gb2312"};
    FuzzInput in(data, size);
    const QByteArray charset = charsets[in.number(int(std::size(charsets)))];
    const bool outgoing = in.number(2) == 1;
    const QByteArray bytes = in.rest();

    const QByteArray cp932 = MailCharset::toCp932(bytes, charset);
    const QString unicode = MailCharset::toUnicode(bytes, charset);
    const QByteArray guessed = MailCharset::guess(bytes);
    FUZZ_CHECK(!guessed.isEmpty());
    (void)cp932;
    (void)unicode;

    if (outgoing) {
        // The text as the compose window hands it over.
        const QString text = Cp932::toUnicode(bytes);
        QByteArray jis;
        if (MailCharset::toIso2022Jp(text, jis)) {
            for (const char c : jis)
                FUZZ_CHECK(uchar(c) < 0x80 && c != 0x0E && c != 0x0F);
            FUZZ_CHECK(MailCharset::toCp932(jis, "iso-2022-jp") == Cp932::fromUnicode(text));
        }
    }
    return 0;
}
