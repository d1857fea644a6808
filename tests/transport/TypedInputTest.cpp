// What the user types into server and address fields, and the thread a reply joins.
#include "MimeWriter.h"
#include "TypedInput.h"

#include <gtest/gtest.h>

namespace {

std::string s(const QString &text) { return text.toStdString(); }

} // namespace

TEST(TypedInput, FullWidthBecomesAsciiNamesStayAsTypedAndWhatCannotBeIsNamed)
{
    const TypedInput::Checked server = TypedInput::server(QStringLiteral("ｐｏｐ３ｓ：／／ｐｏｐ．ｅｘａｍｐｌｅ．ｊｐ：９９５"), true);
    EXPECT_EQ(s(server.text), "pop3s://pop.example.jp:995");
    EXPECT_TRUE(server.problem.isEmpty());
    // A Japanese domain name is a server name (its full stops too); a blank inside one is not.
    EXPECT_TRUE(TypedInput::server(QStringLiteral("メール。例え.jp"), true).problem.isEmpty());
    EXPECT_EQ(s(TypedInput::server(QStringLiteral("pop.example　jp "), true).problem),
              s(QStringLiteral("サーバー名に使えない文字（空白）が含まれています")));
    EXPECT_TRUE(TypedInput::server(QStringLiteral("pop🎂.jp"), true).problem.contains(QStringLiteral("「🎂」")));
    EXPECT_FALSE(TypedInput::server(QStringLiteral("pop.example.jp:99999"), true).problem.isEmpty());
    EXPECT_TRUE(TypedInput::server(QString(), false).problem.isEmpty()); // saved empty, as before

    // Only the addresses change: a name keeps its full-width letters and spaces.
    const TypedInput::Checked list = TypedInput::addresses(
        QStringLiteral("ＡＢＣ商事　山田 ＜ｙａｍａｄａ＠ａｂｃ．ｊｐ＞，　ｈａｎａｋｏ＠ｅｘａｍｐｌｅ．ｊｐ"), true);
    EXPECT_EQ(s(list.text), s(QStringLiteral("ＡＢＣ商事　山田 <yamada@abc.jp>, hanako@example.jp")));
    EXPECT_TRUE(list.problem.isEmpty());

    const TypedInput::Checked comma = TypedInput::addresses(QStringLiteral("a@example.jp、b@example.jp"), true);
    EXPECT_EQ(s(comma.problem), s(QStringLiteral("メールアドレスに使えない文字（「、」）が含まれています。"
                                                 "宛先を並べるときは「,」で区切って下さい")));
    EXPECT_EQ(s(TypedInput::message(QStringLiteral("宛先"), comma)),
              s(QStringLiteral("「宛先」の「a@example.jp、b@example.jp」は使えません。\r\n") + comma.problem + u'。'));
    EXPECT_TRUE(
        TypedInput::addresses(QStringLiteral("taro @example.jp"), false).problem.contains(QStringLiteral("空白")));
    EXPECT_TRUE(TypedInput::addresses(QStringLiteral("太郎@example.jp"), false).problem.contains(QStringLiteral("「太」")));
    // A comma is no separator in the single address of the server dialog.
    EXPECT_FALSE(TypedInput::addresses(QStringLiteral("a@b.jp,c@d.jp"), false).problem.isEmpty());
}

TEST(ReplyThread, ComesFromTheAnsweredMailsHeaderWhicheverItsLineEnds)
{
    const QByteArray crlf = "From: a@example.jp\r\n"
                            "References: <first@example.jp>\r\n"
                            "\t<second@example.jp> (a comment)\r\n"
                            "Message-ID:\r\n <third@example.jp>\r\n"
                            "\r\n"
                            "Message-ID: <in-the-body@example.jp>\r\n";
    const MimeWriter::Thread thread = MimeWriter::replyThread(crlf);
    EXPECT_EQ(thread.inReplyTo, "<third@example.jp>");
    EXPECT_EQ(thread.references,
              (QList<QByteArray>{"<first@example.jp>", "<second@example.jp>", "<third@example.jp>"}));
    QByteArray lf = crlf;
    lf.replace("\r\n", "\n");
    EXPECT_EQ(MimeWriter::replyThread(lf).references, thread.references);

    // Without References, the single mail it answered; an id that would break the header is not taken.
    const MimeWriter::Thread answer =
        MimeWriter::replyThread("In-Reply-To: <one@example.jp>\nMessage-Id: <two@exa\x01mple.jp>\n\n");
    EXPECT_TRUE(answer.inReplyTo.isEmpty());
    EXPECT_EQ(answer.references, QList<QByteArray>{"<one@example.jp>"});
    EXPECT_TRUE(MimeWriter::replyThread("Subject: none\r\n\r\n").references.isEmpty());
}
