// The wait hook: while the transport waits for a server that does not answer, the caller gets
// its turn again and again, and the time-out still ends the wait.
#include "TransportTestSupport.h"
#include "TestSupport.h"
#include "VmimeTransport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

TEST(WaitHook, RunsWhileASilentServerIsAwaitedAndTheTimeOutStillHolds)
{
    TempProgramFolder folder;
    SilentServer silent;
    VmimeTransport transport;
    transport.setTimeout(1000);
    int calls = 0;
    transport.setWaitHook([&calls] { ++calls; });

    QElapsedTimer clock;
    clock.start();
    const int handle = transport.NMailPop3Connect("127.0.0.1:" + QByteArray::number(silent.port()));
    ASSERT_GE(handle, 0);
    EXPECT_LT(transport.NMailPop3Authenticate(handle, "taro", "taro-pass-1", 0), 0);
    const qint64 waited = clock.elapsed();
    transport.NMailPop3Close(handle);

    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 15000);
    // About every 50 ms of the second's wait.
    EXPECT_GE(calls, 8) << "waited " << waited << " ms";
}
