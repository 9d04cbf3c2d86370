// The window thread's event loop with the simulator link in it: a thread held for seconds runs
// the presence ticks it missed at most once, and a simulator address that does not answer never
// holds it (the attempt runs on a thread of its own; each check only asks how it stands).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "app/TarvelXConnectDlg.h"
#include "tests/support/FakeClientLibrary.h"
#include "tests/support/TestSocket.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

TEST(EventLoopTest, AHeldThreadRunsMissedTicksOnceAndAnUnansweringAddressNeverHoldsIt) {
    // A listener whose accept queue is full and never emptied: the kernel drops further
    // connection attempts, as a host that does not answer would.
    int port = 0;
    const txtest::SocketHandle sockets[] = {txtest::ListenLoopback("127.0.0.1", 0, port),
                                            txtest::StartConnectLoopback("127.0.0.1", port),
                                            txtest::StartConnectLoopback("127.0.0.1", port)};
    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.WriteIni("[Common]\nLogging=1\n[Server]\nEnabled=0\n");
    txtest::WriteFile(
        sandbox.settings() + "SimConnect.cfg",
        "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n");
    txtest::FakeClientLibrary library;
    library.m_forwardOpen = true;
    app::CTarvelXConnectDlg dlg(sandbox.settings());
    dlg.Link().m_pSimApi = &library;
    const auto opens = [&](const std::string& result) {
        return library.Count("Open QUENNICK TARVELX CONNECT" + result);
    };
    // The second check holds the window thread for 3 s, as a worker's stop wait may; a marker
    // posted at the hold's end runs after the ticks the loop kept meanwhile.
    std::atomic<int> checksBeforeMarker{-1};
    library.m_onOpen = [&] {
        if (opens("") != 1) return;
        std::this_thread::sleep_for(3s);
        dlg.PostToWindowThread([&] { checksBeforeMarker = opens("") - 2; });
    };
    const std::string pending = " " + std::to_string(static_cast<long long>(E_PENDING));
    const std::string failed = " " + std::to_string(static_cast<long long>(E_FAIL));
    // Until the first attempt has timed out and a tick has started the next one.
    std::thread driver([&] {
        txtest::WaitUntil([&] { return opens(failed) > 0; }, 30s);
        const int seen = opens("");
        txtest::WaitUntil([&] { return opens("") > seen; }, 5s);
        dlg.RequestClose();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    driver.join();
    for (const txtest::SocketHandle socket : sockets) txtest::CloseTestSocket(socket);

    EXPECT_GE(opens(pending), 3) << "an open waited for its attempt";
    EXPECT_EQ(opens(pending) + opens(failed), opens(""));
    EXPECT_GE(checksBeforeMarker, 0);
    EXPECT_LE(checksBeforeMarker, 1) << "the ticks missed during the hold ran back to back";
    EXPECT_FALSE(dlg.Link().IsOnline());
    EXPECT_EQ(txtest::ReadLog(sandbox.LogPath()).find("SimConnect:"), std::string::npos)
        << "an address that does not answer is the usual offline state";
}

}  // namespace
