#include "tests/support/UnservedPort.h"

namespace txtest {

UnservedPort::UnservedPort() : m_socket(BindLoopback("127.0.0.1", m_port)) {
    if (m_socket == platform::kInvalidSocket) m_port = 0;
}

UnservedPort::~UnservedPort() {
    CloseTestSocket(m_socket);
}

}  // namespace txtest
