#include "web/LocalAddress.h"

#include <cstring>
#include <string>

#include "platform/Net.h"

namespace web {

bool GetLocalIPAddress(char* out) {
    const std::string address = platform::LocalIPv4Address();
    if (address.empty()) return false;
    std::memcpy(out, address.c_str(), address.size() + 1);
    return true;
}

}  // namespace web
