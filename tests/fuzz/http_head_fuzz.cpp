// A request head as a client could send it, read by the head parser with the server's bounds and
// with small ones, so that short inputs meet the bounds' edges too. Beyond "no crash": a decided
// head stays decided whatever bytes follow, a complete head reads the same from its own bytes and
// is still open one byte earlier, and the request holds only what the head can give.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/HttpServer.h"
#include "web/RequestHead.h"

namespace {

using web::HttpRequest;
using web::kMaxHeaderLines;
using web::kMaxRequestLineBytes;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameRequest(const HttpRequest& a, const HttpRequest& b) {
    return a.method == b.method && a.path == b.path && a.accept == b.accept &&
           a.acceptLanguage == b.acceptLanguage && a.acceptEncoding == b.acceptEncoding &&
           a.userAgent == b.userAgent;
}

void Check(std::string_view bytes, web::HeadBounds bounds) {
    using web::HeadResult;
    const web::RequestHead head = web::ParseRequestHead(bytes, bounds);
    const HttpRequest& request = head.request;
    Require(request.body.empty() && request.status == "202 OK");
    if (head.result == HeadResult::kIncomplete) {
        Require(head.length == 0);
        if (!bytes.empty()) {
            const auto shorter = web::ParseRequestHead(bytes.substr(0, bytes.size() - 1), bounds);
            Require(shorter.result == HeadResult::kIncomplete);
        }
        return;
    }
    if (head.result != HeadResult::kComplete) {
        Require(head.length == 0 && SameRequest(request, HttpRequest{}));
        const std::string more = std::string(bytes) + "\r\n\r\n";
        Require(web::ParseRequestHead(more, bounds).result == head.result);
        return;
    }

    Require(head.length >= 4 && head.length <= bytes.size() && bytes[head.length - 1] == '\n');
    const std::string_view own = bytes.substr(0, head.length);
    const web::RequestHead again = web::ParseRequestHead(own, bounds);
    Require(again.result == HeadResult::kComplete && again.length == head.length &&
            SameRequest(again.request, request));
    Require(web::ParseRequestHead(own.substr(0, own.size() - 1), bounds).result ==
            HeadResult::kIncomplete);

    Require(request.method.empty() || request.method == "GET" || request.method == "POST");
    const std::string_view requestLine = own.substr(0, own.find('\n') + 1);
    Require(requestLine.size() <= bounds.maxLineBytes);
    Require(request.path.find('?') == std::string::npos &&
            requestLine.find(request.path) != std::string_view::npos);
    for (const std::string* value :
         {&request.accept, &request.acceptLanguage, &request.acceptEncoding, &request.userAgent}) {
        Require(value->find_first_of("\r\n") == std::string::npos &&
                own.find(*value) != std::string_view::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Check(bytes, {kMaxRequestLineBytes, kMaxHeaderLines});
    Check(bytes, {24, 3});
    return 0;
}
