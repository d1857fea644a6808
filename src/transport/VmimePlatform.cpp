#include "VmimePlatform.h"

#include <vmime/platforms/posix/posixHandler.hpp>

namespace {

thread_local bool t_noHostName = false;

class Handler final : public vmime::platforms::posix::posixHandler
{
public:
    const vmime::string getHostName() const override
    {
        if (t_noHostName)
            return VmimePlatform::NoHostName::placeholder();
        return posixHandler::getHostName();
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
