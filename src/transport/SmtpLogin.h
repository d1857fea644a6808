#pragma once

#include <vmime/net/smtp/SMTPTransport.hpp>

// AUTH on an SMTP connection that is already open, after its EHLO (the library logs in only as
// part of connecting, before the caller can see whether the server offers AUTH at all). The
// mechanism is the one the SASL library suggests among those the server offers, with the
// credentials of the transport's properties auth.username and auth.password. Throws
// vmime::exceptions::authentication_error when no mechanism logs in.
namespace SmtpLogin {

void logIn(const vmime::shared_ptr<vmime::net::smtp::SMTPTransport> &transport);

} // namespace SmtpLogin
