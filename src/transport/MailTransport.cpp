#include "MailTransport.h"

#include "VmimeTransport.h"

namespace {

MailTransport *&installed()
{
    static MailTransport *t = nullptr;
    return t;
}

} // namespace

MailTransport &MailTransport::instance()
{
    if (!installed()) {
        static VmimeTransport standard;
        installed() = &standard;
    }
    return *installed();
}

void MailTransport::install(MailTransport *transport) { installed() = transport; }
