#include "VmimePlatform.h"

#include <vmime/platforms/posix/posixHandler.hpp>

#include <cctype>
#include <cstring>

#include <unistd.h>

namespace {

thread_local bool t_noHostName = false;

class Handler final : public vmime::platforms::posix::posixHandler
{
public:
    // The library looks the machine's name up in the DNS twice for every SMTP session (for
    // EHLO), which holds the session and leaves the machine; the system's own name serves.
    const vmime::string getHostName() const override
    {
        if (t_noHostName)
            return VmimePlatform::NoHostName::placeholder();
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) != 0 || !validName(name))
            return "localhost";
        return name;
    }

private:
    static bool validName(const char *name)
    {
        const size_t length = strlen(name);
        if (length == 0 || length > 253 || name[0] == '-' || name[0] == '.')
            return false;
        for (const char *c = name; *c; ++c)
            if (!isalnum(static_cast<unsigned char>(*c)) && *c != '-' && *c != '.')
                return false;
        return true;
    }
};

} // namespace

namespace VmimePlatform {

void ensure()
{
    static const bool ready = [] {
        vmime::platform::setHandler<Handler>();
        return true;
    }();
    (void)ready;
}

NoHostName::NoHostName() : m_previous(t_noHostName)
{
    ensure();
    t_noHostName = true;
}

NoHostName::~NoHostName() { t_noHostName = m_previous; }

const std::string &NoHostName::placeholder()
{
    static const std::string name = "no-domain.wanderpup.invalid";
    return name;
}

} // namespace VmimePlatform
