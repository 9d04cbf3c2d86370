#include "tools/gauge-standin/GaugeMessages.h"

#include <utility>

#include "tools/gauge-standin/McduDisplay.h"

namespace {

constexpr uint8_t kProbe = 0xFE;
constexpr uint8_t kClose = 0xFF;

}  // namespace

GaugeMessages::GaugeMessages(GaugeLog& log, KeyHandler onKey)
    : m_log(log), m_onKey(std::move(onKey)) {}

void GaugeMessages::Reset() {
    m_count = 0;
    m_pendingByte = -1;
}

size_t GaugeMessages::BytesFor(int messages) const {
    if (messages <= 0) return 0;
    return static_cast<size_t>(messages) * 2 - (m_pendingByte >= 0 ? 1 : 0);
}

GaugeMessages::Outcome GaugeMessages::Feed(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (m_pendingByte < 0) {
            m_pendingByte = data[i];
            continue;
        }
        const uint8_t code = static_cast<uint8_t>(m_pendingByte);
        m_pendingByte = -1;
        ++m_count;
        if (Handle(code, data[i]) == Outcome::kDrop) {
            if (i + 1 < size)
                m_log.Line("GAUGE: %d bytes after the close message ignored",
                           static_cast<int>(size - i - 1));
            return Outcome::kDrop;
        }
    }
    return Outcome::kKeep;
}

void GaugeMessages::End() {
    if (m_pendingByte >= 0)
        m_log.Line("GAUGE: connection ended inside a message; byte 0x%02X dropped", m_pendingByte);
    m_pendingByte = -1;
}

GaugeMessages::Outcome GaugeMessages::Handle(uint8_t code, uint8_t second) {
    if (second != 0) {
        m_log.Line("GAUGE: malformed message 0x%02X 0x%02X ignored", code, second);
        return Outcome::kKeep;
    }
    if (code == kProbe) {
        m_log.Line("GAUGE: code 254 (MSG_PIPE_DUMMY): flight-start probe acknowledged");
        return Outcome::kKeep;
    }
    if (code == kClose) {
        m_log.Line("GAUGE: code 255 (MSG_PIPE_CLOSE): connection dropped");
        return Outcome::kDrop;
    }
    const char* name = McduDisplay::KeyName(code);
    if (name == nullptr) {
        m_log.Line("GAUGE: code %d (no such key) ignored", code);
        return Outcome::kKeep;
    }
    m_log.Line("GAUGE: code %d (%s)", code, name);
    m_onKey(code);
    return Outcome::kKeep;
}
