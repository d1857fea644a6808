// Decoding received mail as it really looks: charsets, transfer encodings, MIME structure,
// attachment names from the network, split mail and broken mail.
#include "AttachmentFiles.h"
#include "MimeCodecs.h"
#include "MimeReader.h"
#include "TransportTestSupport.h"
#include "../store/FileSizeLimit.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kMarker3 =
    QByteArray("Wanderpup\x81\x69\x87\x42\x82\xcc\x91\x49\x91\xf0\x81\x6a"); // Wanderpup（③の選択）

QByteArray mail(const QByteArray &headers, const QByteArray &body)
{
    return crlf("From: a@example.test\nSubject: s\n" + (headers.isEmpty() ? QByteArray() : headers + "\n")
                + "\n" + body);
}

QByteArray utf8(const QString &s) { return s.toUtf8(); }

TEST(MimeReaderTest, BodyInEveryCharsetAndTransferEncodingComesBackInCp932)
{
    const QString text = QStringLiteral("こんにちは～表示\r\nWanderpup（③の選択）");
    const QByteArray expected = sjis(text);
    ASSERT_TRUE(expected.contains(kMarker3));
    struct Case
    {
        const char *edge;
        QByteArray headers;
        QByteArray body;
    };
    const Case cases[] = {
        {"utf-8 base64", "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64",
         utf8(text).toBase64()},
        {"utf-8 8bit", "Content-Type: text/plain; charset=\"utf-8\"\nContent-Transfer-Encoding: 8bit",
         utf8(text)},
        {"utf-8 quoted-printable",
         "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable",
         MailCharsetProbe::quotedPrintable(utf8(text))},
        {"shift_jis 8bit", "Content-Type: text/plain; charset=Shift_JIS\nContent-Transfer-Encoding: 8bit",
         expected},
        {"cp932 base64", "Content-Type: text/plain; charset=windows-31j\nContent-Transfer-Encoding: base64",
         expected.toBase64()},
        {"iso-2022-jp with NEC row 13", "Content-Type: text/plain; charset=ISO-2022-JP",
         MailCharsetProbe::iso2022jp(expected)},
        {"euc-jp", "Content-Type: text/plain; charset=EUC-JP\nContent-Transfer-Encoding: 8bit",
         MailCharsetProbe::encode(QStringLiteral("こんにちは～表示\r\nWanderpup（"), "EUC-JP-MS")},
        {"no charset, utf-8 bytes", "", utf8(text)},
        {"labelled iso-2022-jp but utf-8", "Content-Type: text/plain; charset=iso-2022-jp", utf8(text)},
    };
    for (const Case &c : cases) {
        // Alone (one text part) and as the text part of a multipart mail: the same text.
        const QByteArray alone = mail(c.headers, c.body);
        const QByteArray inPart = mail("Content-Type: multipart/mixed; boundary=zz",
                                       "--zz\n" + (c.headers.isEmpty() ? QByteArray() : c.headers + "\n")
                                           + "\n" + c.body + "\n--zz--\n");
        for (const QByteArray &raw : {alone, inPart}) {
            const MimeReader::Mail m = MimeReader::read(raw);
            if (QByteArray(c.edge) == "euc-jp")
                EXPECT_EQ(m.body, sjis(QStringLiteral("こんにちは～表示\r\nWanderpup（"))) << c.edge;
            else
                EXPECT_EQ(m.body, expected) << c.edge << ": " << m.body.toHex().toStdString();
        }
    }
}

TEST(MimeReaderTest, HeadersAreDecodedFromRfc2047Words)
{
    const QByteArray jisSubject = MailCharsetProbe::iso2022jp(sjis(QStringLiteral("犬の散歩①")));
    const QByteArray raw = crlf("From: =?UTF-8?B?" + utf8(QStringLiteral("山田 太郎")).toBase64()
                                + "?= <taro@example.test>\n"
                                  "Subject: =?ISO-2022-JP?B?"
                                + jisSubject.toBase64()
                                + "?=\n =?UTF-8?Q?=E3=81=82?= and more\n"
                                  "Date:  Tue, 8 Dec 2026\n 10:00:00 +0900\n\nbody\n");
    const MimeReader::Mail m = MimeReader::read(raw);
    EXPECT_EQ(m.subject, sjis(QStringLiteral("犬の散歩①あ and more")));
    EXPECT_EQ(m.from, sjis(QStringLiteral("山田 太郎 <taro@example.test>")));
    EXPECT_EQ(m.date, "Tue, 8 Dec 2026 10:00:00 +0900");
    EXPECT_TRUE(m.header.startsWith("From: =?UTF-8?B?"));
    EXPECT_TRUE(m.header.contains("\r\n =?UTF-8?Q?=E3=81=82?= and more"));
    EXPECT_EQ(m.body, "body\r\n");

    // A character split between two encoded words, as some mailers write long subjects.
    const QByteArray utf = utf8(QStringLiteral("長い件名"));
    const MimeReader::Mail split =
        MimeReader::read(crlf("Subject: =?UTF-8?B?" + utf.left(4).toBase64() + "?=\n =?UTF-8?B?"
                              + utf.mid(4).toBase64() + "?=\n\nx"));
    EXPECT_EQ(split.subject, sjis(QStringLiteral("長い件名")));

    // A raw 8-bit subject (no RFC 2047) and a From without a name.
    const MimeReader::Mail raw8 = MimeReader::read(
        crlf("From: hanako@example.test\nSubject: " + utf8(QStringLiteral("生の件名")) + "\n\nx"));
    EXPECT_EQ(raw8.subject, sjis(QStringLiteral("生の件名")));
    EXPECT_EQ(raw8.from, "hanako@example.test");

    // Line ends mixed where the header ends, and a mail of header lines only.
    const MimeReader::Mail mixed = MimeReader::read("Subject: mixed\n\r\nbody\r\n");
    EXPECT_EQ(mixed.header, "Subject: mixed");
    EXPECT_EQ(mixed.body, "body\r\n");
    EXPECT_EQ(MimeReader::read("Subject: only\r\nFrom: a@b\r\n").header, "Subject: only\r\nFrom: a@b");

    // An address without a domain is shown as written, never completed with this machine's
    // name (which took a lookup in the DNS); an encoded name alone is no address either.
    EXPECT_EQ(MimeReader::read(crlf("From: root\n\nx")).from, "root");
    EXPECT_EQ(MimeReader::read(crlf("From: Cron Daemon <root>\n\nx")).from, "Cron Daemon <root>");
    EXPECT_EQ(MimeReader::read(crlf("From: =?UTF-8?B?" + utf8(QStringLiteral("山田")).toBase64() + "?=\n\nx")).from,
              sjis(QStringLiteral("山田")));
    // Addresses as written: specials in the local part stay quoted, and an encoded word in a
    // charset nobody knows is read without the library opening a converter for it (which leaked).
    EXPECT_EQ(MimeReader::read(crlf("From: \"taro yamada\"@example.test\n\nx")).from, "\"taro yamada\"@example.test");
    EXPECT_EQ(MimeReader::read(crlf("From: =?VTF-8?B?" + utf8(QStringLiteral("山田")).toBase64() + "?=@b\n\nx")).from,
              sjis(QStringLiteral("山田")) + "@b");
}

TEST(MimeReaderTest, MultipartBodyIsTheTextPartAndHtmlIsTurnedIntoText)
{
    const QByteArray alternative =
        mail("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"outer\"",
             "preamble\n--outer\nContent-Type: multipart/alternative; boundary=inner\n\n"
             "--inner\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n"
                 + utf8(QStringLiteral("本文です")).toBase64()
                 + "\n--inner\nContent-Type: text/html; charset=UTF-8\n\n<p>HTML</p>\n--inner--\n"
                   "--outer\nContent-Type: application/pdf; name=\"a.pdf\"\n"
                   "Content-Transfer-Encoding: base64\n\nJVBERi0=\n--outer--\n");
    EXPECT_EQ(MimeReader::read(alternative).body, sjis(QStringLiteral("本文です")));

    const QByteArray htmlOnly =
        mail("Content-Type: text/html; charset=UTF-8",
             utf8(QStringLiteral("<html><head><style>p{}</style></head><body><p>一行目&amp;"
                                 "</p><p>二行目&#x2460;<br>三&lt;行&gt;</p></body></html>")));
    EXPECT_EQ(MimeReader::read(htmlOnly).body, sjis(QStringLiteral("一行目&\r\n二行目①\r\n三<行>")));
    // A link keeps its target after its text (unless the text is the target); cells and rows stay apart.
    EXPECT_EQ(MimeCodecs::htmlToText(QStringLiteral(
                  "<p>詳しくは<a class=x href=\"https://example.jp/a?b=1&amp;c=2\">こちら</a>へ。"
                  "<a href='mailto:info@example.jp'>info@example.jp</a> <a href=#top>上へ</a></p>\n"
                  "<table>\n<tr><th>品名</th>\n<th>値段</th></tr>\n<tr><td>りんご</td><td>100円</td>\n</table>後")),
              QStringLiteral("詳しくはこちら <https://example.jp/a?b=1&c=2>へ。info@example.jp 上へ\n品名\t値段\nりんご\t100円\n後"));

    // A text file attached before the text of the mail is not taken for the body.
    const QByteArray attachedFirst =
        mail("Content-Type: multipart/mixed; boundary=b",
             "--b\nContent-Type: text/plain; name=memo.txt\nContent-Disposition: attachment\n\n"
             "file\n--b\nContent-Type: text/plain\n\nthe body\n--b--\n");
    EXPECT_EQ(MimeReader::read(attachedFirst).body, "the body");

    // Markup that never closes is read once, not searched to its end again for every tag.
    const QString unclosed = QStringLiteral("<p>a<script>x") + QString(100000, QLatin1Char('<'))
                             + QStringLiteral("b<!--c &amp d");
    EXPECT_EQ(MimeCodecs::htmlToText(unclosed), QStringLiteral("ax") + QString(100000, QLatin1Char('<'))
                                                    + QStringLiteral("b<!--c &amp d"));
}

class AttachmentTest : public ::testing::Test
{
protected:
    QString folder() const { return dir.path(); }
    QStringList names() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    QByteArray file(const QString &name) const
    {
        QFile f(QDir(dir.path()).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QByteArray withParts(const QByteArray &parts)
    {
        return mail("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"",
                    "--b\nContent-Type: text/plain\n\ntext\n" + parts + "--b--\n");
    }
    static QByteArray part(const QByteArray &headers, const QByteArray &content)
    {
        return "--b\n" + headers + "\nContent-Transfer-Encoding: base64\n\n" + content.toBase64() + "\n";
    }

    QTemporaryDir dir;
};

TEST_F(AttachmentTest, NamesFromRfc2231AndRfc2047AndDefaults)
{
    const QByteArray raw = withParts(
        part("Content-Type: application/octet-stream\nContent-Disposition: attachment;\n"
             " filename*0*=UTF-8''%E5%A0%B1%E5%91%8A;\n filename*1*=%E6%9B%B8.pdf",
             "pdf")
        + part("Content-Type: image/png; name=\"=?ISO-2022-JP?B?"
                   + MailCharsetProbe::iso2022jp(sjis(QStringLiteral("写真"))).toBase64() + "?=.png\"",
               "png")
        + part("Content-Type: image/jpeg", "jpeg"));
    QStringList written;
    EXPECT_EQ(MimeReader::saveAttachments(raw, folder(), &written), MimeReader::Stored);
    EXPECT_EQ(written.size(), 3);
    EXPECT_EQ(file(QStringLiteral("報告書.pdf")), "pdf");
    EXPECT_EQ(file(QStringLiteral("写真.png")), "png");
    EXPECT_EQ(file(QStringLiteral("attachment3.jpg")), "jpeg");

    // The same mail again: nothing is overwritten.
    EXPECT_EQ(MimeReader::saveAttachments(raw, folder()), MimeReader::Stored);
    EXPECT_EQ(file(QStringLiteral("報告書 (2).pdf")), "pdf");
    EXPECT_EQ(names().size(), 6);

    EXPECT_EQ(MimeReader::saveAttachments(mail("", "just text"), folder()), MimeReader::NoAttachment);
}

TEST_F(AttachmentTest, ManyClashesTakeTheFirstFreeNumber)
{
    const QByteArray raw = withParts(part("Content-Type: application/octet-stream; name=a.bin", "x"));
    for (int i = 0; i < 7; ++i)
        ASSERT_EQ(MimeReader::saveAttachments(raw, folder()), MimeReader::Stored);
    ASSERT_TRUE(QFile::remove(QDir(folder()).filePath(QStringLiteral("a (3).bin"))));
    ASSERT_TRUE(QFile::remove(QDir(folder()).filePath(QStringLiteral("a (6).bin"))));
    for (const char *expected : {"a (3).bin", "a (6).bin", "a (8).bin"}) {
        QStringList written;
        ASSERT_EQ(MimeReader::saveAttachments(raw, folder(), &written), MimeReader::Stored);
        ASSERT_EQ(written.size(), 1);
        EXPECT_EQ(QFileInfo(written.first()).fileName(), QString::fromLatin1(expected));
    }
    EXPECT_EQ(names().size(), 8);
}

TEST_F(AttachmentTest, NamesNeverRunOutAndAFailedMailLeavesNothingBehind)
{
    // A name taken 9,999 times already: the next copy still gets a name of its own.
    for (int n = 1; n <= 9999; ++n) {
        QFile f(QDir(folder()).filePath(n == 1 ? QStringLiteral("a.bin") : QStringLiteral("a (%1).bin").arg(n)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QByteArray one = withParts(part("Content-Type: application/octet-stream; name=a.bin", "x"));
    ASSERT_EQ(MimeReader::saveAttachments(one, folder()), MimeReader::Stored);
    EXPECT_EQ(file(QStringLiteral("a (10000).bin")), "x");

    // A name that holds what a text template would take for a placeholder keeps it.
    for (int n = 0; n < 2; ++n)
        ASSERT_FALSE(AttachmentFiles::store(folder(), QStringLiteral("50%2off%1.bin"), "p").isEmpty());
    EXPECT_EQ(file(QStringLiteral("50%2off%1 (2).bin")), "p");

    // One mail of many parts of one name: each gets the next number.
    QByteArray many;
    for (int n = 0; n < 3000; ++n)
        many += part("Content-Type: application/octet-stream; name=b.bin", QByteArray::number(n));
    QStringList written;
    ASSERT_EQ(MimeReader::saveAttachments(withParts(many), folder(), &written), MimeReader::Stored);
    ASSERT_EQ(written.size(), 3000);
    EXPECT_EQ(file(QStringLiteral("b (3000).bin")), "2999");

    // The third file does not fit the disk: the mail stays on the server and comes again, so the
    // two written before it go.
    const QStringList before = names();
    const QByteArray failing = withParts(part("Content-Type: application/octet-stream; name=c.bin", "c")
                                         + part("Content-Type: application/octet-stream; name=d.bin", "d")
                                         + part("Content-Type: application/octet-stream; name=e.bin",
                                                QByteArray(100000, 'e')));
    {
        FileSizeLimit full(50000);
        EXPECT_EQ(MimeReader::saveAttachments(failing, folder()), MimeReader::CannotWrite);
    }
    EXPECT_EQ(names(), before);
}

TEST_F(AttachmentTest, Base64IsDecodedToTheFirstPadding)
{
    auto saved = [&](const QByteArray &name, const QByteArray &encoded) {
        const QByteArray raw =
            withParts("--b\nContent-Type: application/octet-stream; name=" + name
                      + "\nContent-Transfer-Encoding: base64\n\n" + encoded + "\n");
        EXPECT_EQ(MimeReader::saveAttachments(raw, folder()), MimeReader::Stored) << name.constData();
        return file(QString::fromLatin1(name));
    };
    EXPECT_EQ(saved("lines.bin", "QUJD\nREVG\n \tR0g="), "ABCDEFGH");
    EXPECT_EQ(saved("one.bin", "QUJDRA=="), "ABCD");
    EXPECT_EQ(saved("unpadded.bin", "QUJDREU"), "ABCDE"); // the last bytes are not dropped
    EXPECT_EQ(saved("unpadded2.bin", "QUJDRA"), "ABCD");
    EXPECT_EQ(saved("padding-inside.bin", "QUJD=REVG"), "ABC");
    EXPECT_EQ(saved("empty.bin", ""), "");
}

TEST_F(AttachmentTest, HostileNamesStayInsideTheFolder)
{
    struct Case
    {
        const char *edge;
        QByteArray name;
        QString stored;
    };
    const Case cases[] = {
        {"parent path", "../../escape.txt", QStringLiteral("escape.txt")},
        {"windows path", "C:\\\\Windows\\\\evil.exe", QStringLiteral("evil.exe")},
        {"dot dot", "..", QStringLiteral("attachment")},
        {"dot", ".", QStringLiteral("attachment")},
        {"empty after cleaning", "///", QStringLiteral("attachment")},
        {"hidden dot file", ".bashrc", QStringLiteral("bashrc")},
        {"control characters",
         "a\tb\x01"
         "c.txt",
         QStringLiteral("abc.txt")},
        {"reserved characters", "x<y>:z?.txt", QStringLiteral("x_y__z_.txt")},
        {"right-to-left override", "photo\xe2\x80\xaegpj.exe", QStringLiteral("photo〓gpj.exe")},
    };
    for (const Case &c : cases) {
        QTemporaryDir d;
        const QString inner = d.filePath(QStringLiteral("inner"));
        QDir().mkpath(inner);
        const QByteArray raw =
            withParts(part("Content-Type: application/octet-stream\nContent-Disposition: attachment; "
                           "filename=\""
                               + c.name + "\"",
                           "data"));
        QStringList written;
        EXPECT_EQ(MimeReader::saveAttachments(raw, inner, &written), MimeReader::Stored) << c.edge;
        ASSERT_EQ(written.size(), 1) << c.edge;
        EXPECT_EQ(QFileInfo(written.first()).fileName(), c.stored) << c.edge;
        EXPECT_EQ(QFileInfo(written.first()).absolutePath(), QFileInfo(inner).absoluteFilePath()) << c.edge;
        EXPECT_EQ(QDir(d.path()).entryList(QDir::Files | QDir::Hidden).size(), 0) << c.edge;
    }
    EXPECT_EQ(AttachmentFiles::safeFileName(QString(300, QLatin1Char('x')) + QStringLiteral(".txt")).size(), 200);
    EXPECT_TRUE(AttachmentFiles::safeFileName(QString(300, QLatin1Char('x')) + QStringLiteral(".txt"))
                    .endsWith(QStringLiteral(".txt")));
}

TEST_F(AttachmentTest, SplitMailAndUnwritableFolder)
{
    // One part of three, alone: nothing can be unpacked.
    const QByteArray partial = mail(
        "MIME-Version: 1.0\nContent-Type: message/partial; id=\"abc@x\"; number=2; total=3", "middle piece");
    EXPECT_EQ(MimeReader::saveAttachments(partial, folder()), MimeReader::PartsMissing);
    EXPECT_TRUE(names().isEmpty());

    // All pieces inside one mail are joined and unpacked.
    const QByteArray whole =
        crlf("Subject: inner\nContent-Type: multipart/mixed; boundary=z\n\n--z\nContent-Type: text/plain\n\n"
             "t\n--z\nContent-Type: application/octet-stream; name=joined.bin\n"
             "Content-Transfer-Encoding: base64\n\nam9pbmVk\n--z--\n");
    const int half = int(whole.size() / 2);
    const QByteArray both =
        mail("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"",
             "--b\nContent-Type: message/partial; id=\"q\"; number=1; total=2\n\n" + whole.left(half)
                 + "\n--b\nContent-Type: message/partial; id=\"q\"; number=2; total=2\n\n" + whole.mid(half)
                 + "\n--b--\n");
    EXPECT_EQ(MimeReader::saveAttachments(both, folder()), MimeReader::Stored);
    EXPECT_EQ(file(QStringLiteral("joined.bin")), "joined");

    const QByteArray withFile = withParts(part("Content-Type: application/octet-stream; name=a.bin", "x"));
    EXPECT_EQ(MimeReader::saveAttachments(withFile, folder() + QStringLiteral("/missing")),
              MimeReader::CannotWrite);
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("/missing")));
}

// Regular multipart mail with CRLF line ends is split without the MIME parser; mail with LF line
// ends always goes through it. Every shape read both ways must give the same text and files.
TEST(MimeReaderTest, SplitMultipartReadsLikeTheMimeParser)
{
    const QByteArray file = QByteArray("\x00\x01\xff binary\r\n\n", 14).toBase64();
    const QByteArray head = "From: a@example.test\nSubject: s\nMIME-Version: 1.0\n";
    const QList<QPair<const char *, QByteArray>> cases = {
        {"nested, preamble and epilogue",
         head + "Content-Type: multipart/mixed; boundary=\"outer\"\n\npreamble\n--outer\n"
                "Content-Type: multipart/alternative; boundary=inner\n\n--inner\n"
                "Content-Type: text/plain; charset=UTF-8\n\nbody one\n--inner\nContent-Type: text/html\n\n"
                "<p>html</p>\n--inner--\ninner epilogue\n--outer\n"
                "Content-Type: application/octet-stream; name=\"f.bin\"\nContent-Transfer-Encoding: base64\n\n"
                + file + "\n--outer\nContent-Type: text/plain; name=memo.txt\n\nline 1\nline 2\n\n--outer--\n"
                "epilogue\n--not a part\n"},
        {"inner boundary starts with the outer one",
         head + "Content-Type: multipart/mixed; boundary=\"o\"\n\n--o\n"
                "Content-Type: multipart/alternative; boundary=\"o-1\"\n\n--o-1\nContent-Type: text/plain\n\n"
                "text\n--o-1--\n--o\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\n"
                + file + "\n--o--\n"},
        {"boundary text inside lines",
         head + "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\n"
                "see --b here, x--b and\n --b\n--b\nContent-Type: application/pdf\n\n%PDF--b\n--b--\n"},
        {"boundary text inside words and base64",
         head + "Content-Type: multipart/mixed; boundary=bb\n\n--bb\nContent-Type: text/plain\n\n"
                "abba and a cabbage\n--bb\nContent-Type: application/zip; name=z.zip\n"
                "Content-Transfer-Encoding: base64\n\n" + QByteArray("m\xb6\xdb").repeated(100).toBase64() + "\n--bb--\n"},
        {"blanks after a delimiter",
         head + "Content-Type: multipart/mixed; boundary=b\n\n--b  \nContent-Type: text/plain\n\nt\n--b\t\n"
                "Content-Type: image/gif; name=a.gif\nContent-Transfer-Encoding: base64\n\n"
                + file + "\n--b--  \n"},
        {"no closing delimiter",
         head + "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nt\n--b\n"
                "Content-Type: image/gif; name=a.gif\nContent-Transfer-Encoding: base64\n\n"
                + file + "\n"},
        {"empty part and part without header",
         head + "Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\n\nno header here\n--b\n"
                "Content-Type: application/zip\n\nzip\n--b--\n"},
        {"delimiter straight after the header and nothing after the close",
         head + "Content-Type: multipart/related; boundary=\"a b\"\n\n--a b\nContent-Type: text/plain\n\n"
                "only\n--a b\nContent-Disposition: attachment; filename=\"x.txt\"\n\nfile\n--a b--"},
        {"transfer encodings",
         head + "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain; charset=UTF-8\n"
                "Content-Transfer-Encoding: Quoted-Printable\n\n=E6=9C=AC=E6=96=87 soft=\nbreak\n--b\n"
                "Content-Type: image/png\nContent-Transfer-Encoding: BASE64\n\n" + file + "\n--b\n"
                "Content-Type: application/octet-stream; name=u.bin\nContent-Transfer-Encoding: x-uuencode\n\n"
                "begin 644 u.bin\n#86)C\n`\nend\n--b\nContent-Type: application/zip; name=z.zip\n"
                "Content-Transfer-Encoding: x-no-such\n\nraw bytes\n--b\nContent-Type: message/rfc822\n\n"
                "From: x@example.test\nSubject: inner\n\ninner body\n--b--\n"},
        {"folded type and a second type field",
         "From: a@example.test\nContent-type :\n multipart/mixed;\n\tboundary=\"f\"\nX-Odd line\n"
         "Content-Type: multipart/mixed; boundary=g\n\n--f\nContent-Type: text/plain\n\nfirst\n--f\n"
         "Content-Type: image/png\nContent-Transfer-Encoding: base64\n\n" + file + "\n--f--\n"},
        {"digest", head + "Content-Type: multipart/digest; boundary=d\n\n--d\n\nFrom: x@example.test\n\n"
                          "inner mail\n--d--\n"},
        {"type in capitals", head + "Content-Type: MULTIPART/Mixed; boundary=B\n\n--B\nContent-Type: Text/Plain\n\n"
                                    "text\n--B\nContent-Type: Application/Octet-Stream\n\nbin\n--B--\n"},
    };
    for (const auto &[name, lf] : cases) {
        const QByteArray split = crlf(lf);
        EXPECT_EQ(MimeReader::read(split).body, MimeReader::read(lf).body) << name;
        QTemporaryDir a, b;
        QStringList fromSplit, fromParser;
        EXPECT_EQ(MimeReader::saveAttachments(split, a.path(), &fromSplit),
                  MimeReader::saveAttachments(lf, b.path(), &fromParser))
            << name;
        ASSERT_EQ(fromSplit.size(), fromParser.size()) << name;
        for (int i = 0; i < fromSplit.size(); ++i) {
            EXPECT_EQ(QFileInfo(fromSplit[i]).fileName(), QFileInfo(fromParser[i]).fileName()) << name;
            QFile f1(fromSplit[i]), f2(fromParser[i]);
            ASSERT_TRUE(f1.open(QIODevice::ReadOnly) && f2.open(QIODevice::ReadOnly));
            EXPECT_EQ(f1.readAll().replace("\r\n", "\n"), f2.readAll().replace("\r\n", "\n")) << name;
        }
    }
}

TEST(MimeReaderTest, Base64TextBodyReadsAsQtReadsIt)
{
    for (const QByteArray &encoded : {QByteArray("QUJD\nREVG\n"), QByteArray("QUJDRA=="), QByteArray("QUJDREU"),
                                     QByteArray("QUJD=REVG"), QByteArray("QU*JD RE\tVG"), QByteArray("Q")}) {
        const QByteArray raw = mail("Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: base64",
                                    encoded);
        EXPECT_EQ(MimeReader::read(raw).body, QByteArray::fromBase64(crlf(encoded))) << encoded.constData();
    }
}

TEST(MimeReaderTest, MailNestedBeyondReasonIsKeptWholeInsteadOfParsed)
{
    // Thousands of nested multiparts would take the MIME parser's recursion off the end of the
    // stack. LF line ends keep it away from the quick splitter, which has a bound of its own.
    QTemporaryDir dir;
    QByteArray deep = "Subject: deep\nContent-Type: multipart/mixed; boundary=x0\n\n";
    for (int i = 1; i < 5000; ++i)
        deep += "--x" + QByteArray::number(i - 1) + "\nContent-Type: multipart/mixed; boundary=x"
                + QByteArray::number(i) + "\n\n";
    const MimeReader::Message message(deep);
    EXPECT_EQ(message.mail().subject, "deep");
    EXPECT_EQ(message.mail().body, sjis(MimeReader::unreadableNote()));
    QStringList written;
    EXPECT_EQ(message.saveAttachments(dir.path(), &written), MimeReader::Stored);
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(QFileInfo(written[0]).fileName(), MimeReader::unreadableName());
    QFile kept(written[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), deep);
}

TEST(MimeReaderTest, BrokenMailDoesNotCrash)
{
    QTemporaryDir dir;
    QByteArray deep = "Content-Type: multipart/mixed; boundary=x0\n\n";
    for (int i = 1; i < 200; ++i)
        deep += "--x" + QByteArray::number(i - 1) + "\nContent-Type: multipart/mixed; boundary=x"
                + QByteArray::number(i) + "\n\n";
    const QByteArray cases[] = {
        "",
        "\r\n\r\n",
        "no header at all",
        mail("Content-Type: multipart/mixed; boundary=\"never\"", "no boundary ever appears"),
        mail("Content-Type: multipart/mixed", "--b\nmissing boundary parameter\n"),
        mail("Content-Type: text/plain; charset=no-such-charset\nContent-Transfer-Encoding: base64",
             "!!!not base64***"),
        mail("Content-Type: text/plain; charset=ISO-2022-JP", "\x1b$B\x7f\x7f\xff\xfe\x1b"),
        mail("Content-Transfer-Encoding: x-unknown\nContent-Type: application/octet-stream; name=\"\"",
             "\x00\x01\x02"),
        mail("Content-Type: multipart/mixed; boundary=b",
             "--b\nContent-Type: message/rfc822\n\nFrom: x\n\n--b"),
        QByteArray(5000, '\xff'),
        crlf(deep),
    };
    for (const QByteArray &raw : cases) {
        const MimeReader::Mail m = MimeReader::read(raw);
        (void)m;
        const int r = MimeReader::saveAttachments(raw, dir.path());
        EXPECT_TRUE(r == 0 || r == 1 || r == -6) << r;
    }
    EXPECT_EQ(MimeReader::read(mail("Content-Type: text/plain; charset=no-such-charset", "plain")).body,
              "plain");
}

} // namespace
