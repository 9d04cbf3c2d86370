#pragma once
// What the tests expect where Linux and Windows differ by design, each answered by the system the
// tests run on (SystemFacts_posix.cpp, SystemFacts_win32.cpp), so that a shared test states its
// expectation once and the Linux run checks exactly what it always has.

#include <string>

namespace txtest {

// Where the simulator is when no SimConnect.cfg says otherwise: its TCP server at 127.0.0.1 port
// 2048 here, its named pipe on Windows.
struct SimulatorDefault {
    std::string port;
    std::string description;  // as the log names it
};
SimulatorDefault DefaultSimulator();

// The log line when SimConnect.cfg names the simulator's named pipe and nothing serves it: here,
// that this system has no named pipes; none on Windows, where no simulator is the usual offline
// state and not worth a line.
std::string UnservedSimulatorPipeLine();

// What the INI reader gives for a key whose value is empty ("Port="), given `defaultValue`: 0
// here, as a value without digits reads; the default on Windows, whose GetPrivateProfileIntA
// (Wine's, which the Windows suites run on) takes an empty value for a missing one.
int EmptyProfileValue(int defaultValue);

// True when a reader of a TCP connection is told that the peer reset it. Under Wine, whose
// Winsock the Windows suites run on, a reset reads as the peer's orderly end (recv gives 0).
bool PeerResetIsSeen();

// The system's words for that error, as the server's log line quotes them ("Winsock error
// 10048" where the system's message table has none, as Wine's has not).
std::string AddressInUseText();

// The error numbers of a plain-file read for a file that is not there, a folder, and what
// MakeSpecialFile makes (a FIFO here, a device on Windows).
struct RegularFileErrors {
    int missing;
    int folder;
    int special;
};
RegularFileErrors RegularFileErrorNumbers();

// Where the MCDU gauge's pipe is for a program whose runtime folder is `runtimeFolder`: a socket
// file in it here; on Windows the gauge's named pipe, whatever the folders.
std::string GaugePipePath(const std::string& runtimeFolder);
// The error numbers of the gauge's pipe, as the pipe's log lines print them: no gauge there; a
// write after the gauge let the connection go (restarted) or closed its end for good (ended);
// every instance taken (here: the listen queue full), at once and after a busy wait; a write
// that the gauge, no longer reading, did not take within the write time-out.
struct PipeErrors {
    int absent;
    int restarted;
    int ended;
    int busy;
    int busyAfterWait;
    int stalled;
};
PipeErrors PipeErrorNumbers();

}  // namespace txtest
