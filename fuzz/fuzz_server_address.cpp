// The server field: whatever the user typed is either a server (an ASCII host without blanks,
// control characters or path parts, and a port in range) or refused with a reason.
#include "FuzzInput.h"
#include "ServerAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool pop3 = in.number(2) == 0;
    const ServerAddress a = ServerAddress::parse(in.rest(), pop3);
    for (QChar c : a.display)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7F);
    if (!a.valid) {
        FUZZ_CHECK(!a.problem.isEmpty());
        return 0;
    }
    FUZZ_CHECK(a.problem.isEmpty());
    FUZZ_CHECK(!a.host.empty());
    FUZZ_CHECK(a.port >= 1 && a.port <= 65535);
    FUZZ_CHECK(!(a.plain && a.implicitTls));
    for (const char c : a.host)
        FUZZ_CHECK(uchar(c) > 0x20 && uchar(c) < 0x7F && c != '/' && c != '\\' && c != '@' && c != '[' && c != ']');
    // What the user reads names the same server again.
    const ServerAddress again = ServerAddress::parse(a.display.toLatin1(), pop3);
    FUZZ_CHECK(again.valid && again.host == a.host && again.port == a.port);
    return 0;
}
