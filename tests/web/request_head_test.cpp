#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>

#include "web/HttpServer.h"
#include "web/RequestHead.h"

namespace {

using web::HeadResult;
using web::kMaxHeaderLines;
using web::kMaxRequestLineBytes;

constexpr HeadResult kComplete = HeadResult::kComplete;
constexpr HeadResult kIncomplete = HeadResult::kIncomplete;

struct HeadCase {
    std::string bytes;
    HeadResult result;
    std::string method = {};
    std::string path = {};
    // Accept, Accept-Language, Accept-Encoding, User-Agent.
    std::array<std::string, 4> headers = {};
    size_t length = 0;  // of a complete head; 0: every byte of the case
};

TEST(RequestHeadTest, HeadsReadAsTheServerReadsThemLineByLine) {
    const std::string end = "\r\n\r\n";
    const std::string get = "GET / HTTP/1.1\r\n";
    const size_t bound = kMaxRequestLineBytes;
    // "GET /ccc... HTTP/1.1\r\n" of exactly `bytes` bytes.
    const auto requestLine = [](size_t bytes) {
        return "GET /" + std::string(bytes - 16, 'c') + " HTTP/1.1\r\n";
    };
    const std::array<std::string, 4> headers = {"text/html", "de-DE", "a", "Tablet/1.0"};
    std::string headerLines;
    for (int i = 0; i < kMaxHeaderLines; ++i) headerLines += "X-" + std::to_string(i) + ": v\r\n";

    const HeadCase cases[] = {
        // The request line: method, target and what is cut from it; a line feed alone ends it.
        {"GET /MCDU_Dspl.png?1700000000 HTTP/1.1\nHost: t\r\n\r\n", kComplete, "GET",
         "/MCDU_Dspl.png"},
        {"POST   /resume" + end, kComplete, "POST", "/resume"},  // blanks before the target skipped
        {"GET" + end, kComplete, "GET", ""},
        // The four headers: exact names, "Name: " with its blank, the last one wins, the value
        // cut at its first line-end character.
        {get + "Host: tablet\r\nAccept: text/html\r\naccept: lower/case\r\n"
               "Accept-Language: de-DE\r\nAccept-Encoding: gzip\r\nUser-agent: wrong case\r\n"
               "User-Agent: Tablet/1.0\r\nAccept:no-blank\r\nAccept-Encoding: a\rb\r\n\r\n",
         kComplete, "GET", "/", headers},
        // Any line starting with a carriage return ends the head; nothing after it is read.
        {get + "\rjunk\nAccept: late\r\n\r\n", kComplete, "GET", "/", {}, 22},
        // Not there yet: what the whole lines gave so far.
        {"GET / HTTP/1.1", kIncomplete},
        {get + "Accept: */*\r\n", kIncomplete, "GET", "/", {"*/*", "", "", ""}},
        // Lines that cannot start a request.
        {"\n", HeadResult::kLoneLineFeed},
        {"GET / HTTP/1.1\n\n", HeadResult::kLoneLineFeed},
        {"\r\n" + get + "\r\n", HeadResult::kNoTarget},
        // The line bound, line feed included, on either side of it; a line without its line feed
        // is refused as soon as it has reached the bound. Header lines share the rule.
        {requestLine(bound) + "\r\n", kComplete, "GET", "/" + std::string(bound - 16, 'c')},
        {requestLine(bound + 1) + "\r\n", HeadResult::kRequestLineTooLong},
        {std::string(bound - 1, 'G'), kIncomplete},
        {std::string(bound, 'G'), HeadResult::kRequestLineTooLong},
        {get + "Accept: " + std::string(bound, 'a') + end, HeadResult::kHeaderLineTooLong},
        // The header line bound, counted when a header line is whole.
        {get + headerLines + "\r\n", kComplete, "GET", "/"},
        {get + headerLines + "X-More: v\r\n\r\n", HeadResult::kTooManyHeaderLines},
        {get + headerLines + "X-More: v", kIncomplete, "GET", "/"},
    };
    for (const HeadCase& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 60));
        const web::RequestHead head =
            web::ParseRequestHead(c.bytes, {kMaxRequestLineBytes, kMaxHeaderLines});
        EXPECT_EQ(head.result, c.result);
        EXPECT_EQ(head.length, c.result == kComplete && c.length == 0 ? c.bytes.size() : c.length);
        EXPECT_EQ(head.request.method, c.method);
        EXPECT_EQ(head.request.path, c.path);
        const std::array<std::string, 4> headers = {
            head.request.accept, head.request.acceptLanguage, head.request.acceptEncoding,
            head.request.userAgent};
        EXPECT_EQ(headers, c.headers);
    }
}

}  // namespace
