// Fixed-width code page 932 fields: always exactly their width, cut between characters, and
// read back as the text that fitted.
#include "FuzzInput.h"
#include "platform/Cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int width = in.number(256);
    const QByteArray bytes = in.rest();
    // Any UTF-16, lone surrogates included, as a text box may hold it.
    QString text(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);

    const QByteArray field = Cp932::fixedField(text, width);
    FUZZ_CHECK(field.size() == width);
    const QString back = Cp932::readField(field.constData(), width);
    FUZZ_CHECK(!back.contains(QChar(0xFFFD)));
    // What was kept is a start of the text's code page 932 form, padded with blanks.
    const QByteArray whole = Cp932::fromUnicode(text);
    const int nul = int(field.indexOf('\0'));
    QByteArray kept = nul >= 0 ? field.left(nul) : field;
    while (kept.endsWith(' ') && !whole.startsWith(kept))
        kept.chop(1); // the fill
    FUZZ_CHECK(whole.startsWith(kept));

    // Bytes from a file: code page 932 spells some characters twice (the NEC and IBM rows), so
    // one pass may change the bytes, but what it gives is stable and reads the same.
    const QString decoded = Cp932::toUnicode(bytes);
    const QByteArray once = Cp932::fromUnicode(decoded);
    FUZZ_CHECK(Cp932::fromUnicode(Cp932::toUnicode(once)) == once);
    if (!decoded.contains(QChar(0xFFFD)))
        FUZZ_CHECK(Cp932::toUnicode(once) == decoded);
    return 0;
}
