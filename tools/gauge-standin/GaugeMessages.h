#pragma once
// The gauge's reading of the program's byte stream, shared by the Linux and the Windows stand-in
// so that both log the same lines: bytes are paired into 2-byte messages however the reads split
// them, every message is logged, key codes go on to a handler, and the close message ends the
// connection.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "tools/gauge-standin/GaugeLog.h"

class GaugeMessages {
  public:
    using KeyHandler = std::function<void(int code)>;
    enum class Outcome { kKeep, kDrop };

    GaugeMessages(GaugeLog& log, KeyHandler onKey);

    // A new connection: no half message waits, no message counted.
    void Reset();
    // Bytes as they were read. kDrop once the close message came; what follows it is only logged.
    Outcome Feed(const uint8_t* data, size_t size);
    // The program closed its end: a first byte still waiting for its partner is logged as lost.
    void End();

    // Whole messages of this connection so far, of every kind.
    int Count() const { return m_count; }
    // Bytes still to read to complete `messages` more messages.
    size_t BytesFor(int messages) const;

  private:
    Outcome Handle(uint8_t code, uint8_t second);

    GaugeLog& m_log;
    const KeyHandler m_onKey;
    int m_count = 0;
    // The first byte of a message whose second byte has not arrived yet.
    int m_pendingByte = -1;
};
