#pragma once

#include <QString>

// What the user typed into a server or address field, made into what the mail needs. A Japanese
// keyboard left in full-width mode gives "ｔａｒｏ＠ｅｘａｍｐｌｅ．ｊｐ", which looks right in a
// Japanese face but is no address: such letters become the ASCII they stand for. What still
// cannot be in a server or an address is named, so that the user can mend it.
namespace TypedInput {

// Full-width ASCII (U+FF01 to U+FF5E) and the ideographic space as ASCII; the rest as it is.
QString narrowed(const QString &text);

struct Checked
{
    QString text;    // what goes on
    QString problem; // why it cannot, in Japanese; empty when it can
};

// A server field (SMTP or POP3), narrowed. An empty field is no problem here.
Checked server(const QString &typed, bool pop3);

// An address field: "addr", "Name <addr>", or with `several` a list of them separated by commas.
// Only the addresses (and the brackets and commas around them) are narrowed: a name stays as
// typed. A problem names the first character that cannot be in an address.
Checked addresses(const QString &typed, bool several);

// The message box text for a field whose caption is `field`.
QString message(const QString &field, const Checked &checked);

} // namespace TypedInput
