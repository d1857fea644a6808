#include "SmtpLogin.h"

#include <vmime/net/smtp/SMTPCommand.hpp>
#include <vmime/net/smtp/SMTPConnection.hpp>
#include <vmime/net/smtp/SMTPResponse.hpp>
#include <vmime/security/sasl/SASLAuthenticator.hpp>
#include <vmime/security/sasl/SASLContext.hpp>
#include <vmime/security/sasl/SASLMechanism.hpp>
#include <vmime/security/sasl/SASLSession.hpp>

#include <memory>

namespace {

using namespace vmime::security::sasl;
using vmime::net::smtp::SMTPCommand;

struct Bytes
{
    vmime::byte_t *data = nullptr;
    size_t size = 0;
    ~Bytes() { delete[] data; }
};

// The next reply to the mechanism's challenge, in base64 (empty: nothing to say).
std::string answer(const vmime::shared_ptr<SASLContext> &context, const vmime::shared_ptr<SASLSession> &session,
                   const std::string &challenge64)
{
    Bytes challenge, response;
    if (!challenge64.empty())
        context->decodeB64(challenge64, &challenge.data, &challenge.size);
    session->evaluateChallenge(challenge.data, challenge.size, &response.data, &response.size);
    return context->encodeB64(response.data, response.size);
}

bool clientFirst(const vmime::shared_ptr<SASLMechanism> &mechanism)
{
    const std::string name = mechanism->getName();
    return mechanism->hasInitialResponse() || name == "PLAIN" || name.rfind("SCRAM-", 0) == 0;
}

} // namespace

namespace SmtpLogin {

void logIn(const vmime::shared_ptr<vmime::net::smtp::SMTPTransport> &transport)
{
    const auto connection = transport->getConnection();
    const auto authenticator = vmime::dynamicCast<SASLAuthenticator>(transport->getAuthenticator());
    std::vector<std::string> offered;
    if (!connection || !authenticator || !connection->hasExtension("AUTH", &offered))
        throw vmime::exceptions::authentication_error("AUTH is not offered");
    authenticator->setService(transport);
    const auto context = SASLContext::create();
    std::vector<vmime::shared_ptr<SASLMechanism>> known;
    for (const std::string &name : offered) {
        // Mechanisms with a security layer of their own would need the connection's socket
        // replaced, which the library does not let us do; TLS protects the session anyway.
        if (name == "GSSAPI" || name == "DIGEST-MD5")
            continue;
        try {
            known.push_back(context->createMechanism(name));
        } catch (const vmime::exception &) {
        }
    }
    if (known.empty())
        throw vmime::exceptions::authentication_error("no usable SASL mechanism");
    const std::vector<vmime::shared_ptr<SASLMechanism>> tried =
        authenticator->getAcceptableMechanisms(known, context->suggestMechanism(known));
    std::string lastReply;
    for (const auto &mechanism : tried) {
        const auto session = context->createSession("smtp", authenticator, mechanism);
        session->init();
        // Client-first mechanisms save a round trip with their first answer on the AUTH line.
        if (clientFirst(mechanism)) {
            const std::string first = answer(context, session, {});
            connection->sendRequest(SMTPCommand::AUTH(mechanism->getName(), first.empty() ? "=" : first));
        } else {
            connection->sendRequest(SMTPCommand::AUTH(mechanism->getName()));
        }
        for (;;) {
            const auto reply = connection->readResponse();
            if (reply->getCode() == 235)
                return;
            if (reply->getCode() != 334) {
                lastReply = reply->getText();
                break;
            }
            const std::string next = [&] {
                try {
                    return answer(context, session, reply->getText());
                } catch (const vmime::exceptions::sasl_exception &) {
                    return std::string(1, '*'); // cancels the exchange
                }
            }();
            connection->getSocket()->send(next + "\r\n");
        }
    }
    throw vmime::exceptions::authentication_error(lastReply);
}

} // namespace SmtpLogin
