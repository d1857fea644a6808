#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vmime/vmime.hpp>

// A received mail taken apart into its leaf parts by the MIME parser (a regular multipart mail is
// split here first, which is much quicker), and what the reading needs of one part.
namespace MimeParts {

struct Leaf
{
    vmime::shared_ptr<const vmime::bodyPart> part;
    QByteArray type;        // "type/subtype", lower case
    QByteArray disposition; // "attachment", "inline" or empty
    QByteArray name;        // the file name it carries, code page 932
    // A part split off by our own code: its content as it stands in the mail (not copied, so
    // the mail must outlive the leaf) and its transfer encoding. Null when VMime holds it.
    QByteArray encoded;
    vmime::encoding encoding;
};

struct Parts
{
    QList<Leaf> leaves;
    vmime::shared_ptr<vmime::message> message; // the parents of the leaves, when VMime read it whole
};

// Whether the MIME parser may be given the mail: its recursion follows the mail's nesting of
// multiparts, and a mail nested thousands deep would run it off the end of the stack. No mailer
// nests anywhere near the bound, which counts every "multipart" in the mail (an upper bound of
// the depth the parser can reach, whatever the markup).
bool withinBounds(const QByteArray &raw);
constexpr int MaxMultiparts = 200;

// False when the MIME parser cannot make sense of the mail or may not be given it (see
// withinBounds); `out` is then empty.
bool read(const QByteArray &raw, Parts &out);

// A part with a file name or an "attachment" disposition.
bool isExplicitAttachment(const Leaf &leaf);
// The index of the leaf that is the mail's text: the first text/plain that is not an attached
// file, else the first such text/html; -1 when there is none.
int bodyLeaf(const QList<Leaf> &leaves);
// The text of a text leaf in code page 932 with CRLF line ends (HTML turned into text).
QByteArray leafText(const Leaf &leaf);
// The same in Unicode, every character kept.
QString leafUnicode(const Leaf &leaf);

// The content without its transfer encoding; the bytes as they are for an unknown encoding.
QByteArray decodedContent(const Leaf &leaf);
// The content as it stands in the mail.
QByteArray rawContent(const Leaf &leaf);
// A parameter of a header field, decoded into code page 932 (RFC 2231, or RFC 2047 words as
// many mailers write them); empty when missing.
QByteArray parameterText(const vmime::shared_ptr<const vmime::header> &header, const char *field,
                         const char *name, bool *present = nullptr);

// An unstructured header value with RFC 2047 words, decoded into code page 932.
QByteArray decodeHeaderText(const QByteArray &value);
// A From value as "Name <addr>", or just "addr" without a name, in code page 932.
QByteArray decodeMailbox(const QByteArray &value);
// The same two in Unicode, every character kept.
QString decodeHeaderUnicode(const QByteArray &value);
QString decodeMailboxUnicode(const QByteArray &value);

} // namespace MimeParts
