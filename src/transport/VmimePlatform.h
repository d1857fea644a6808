#pragma once

#include <string>

// The mail library's platform services, set up once for every user of the library here.
namespace VmimePlatform {

// Installs our platform handler (idempotent, thread-safe).
void ensure();

// While one of these lives on a thread, the library learns no host name there: it would
// complete an address without a domain with this machine's name, looked up in the DNS. It gets
// `placeholder()` instead, which the caller then recognises.
class NoHostName
{
public:
    NoHostName();
    ~NoHostName();
    NoHostName(const NoHostName &) = delete;
    NoHostName &operator=(const NoHostName &) = delete;

    static const std::string &placeholder();

private:
    bool m_previous;
};

} // namespace VmimePlatform
