#pragma once

#include <QString>

// Why a mail did not go out, carried from where it happened to the one place that puts it into
// words for the user.
struct SmtpFailure
{
    enum class Kind {
        BadServer,        // detail: the server as written in the settings
        NoRecipient,      //
        BadRecipient,     // detail: the address
        BadSender,        // detail: the address
        FileMissing,      // detail: the attachment's path
        FileUnreadable,   // detail: the attachment's path
        Unreachable,      // detail: why, in words
        RecipientRefused, // detail: the server's reply
        SenderRefused,    // detail: the server's reply
        Dialogue,         // detail: the whole text (time-out, TLS, login, cut connection, ...)
    };

    Kind kind = Kind::Dialogue;
    QString detail;
    QString server; // "host:port"

    // The text for the user, in Japanese.
    QString text() const;
    // Whether the text may quote the server (and so must be kept free of the password).
    bool quotesServer() const;
};
