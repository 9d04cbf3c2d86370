// The request target as it comes from the request line: any bytes, any length.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/HttpServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string target(reinterpret_cast<const char*>(data), size);
    const std::string path = web::ParseRequestTarget(target);
    // Only ever cut from the end: line end, version, query. Nothing is added or rewritten.
    if (path.size() > target.size() || target.compare(0, path.size(), path) != 0) std::abort();
    if (path.find('?') != std::string::npos) std::abort();
    return 0;
}
