#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "web/HttpServer.h"
#include "web/RequestHead.h"

namespace {

using web::HeadResult;
using web::kMaxHeaderLines;
using web::kMaxRequestLineBytes;

constexpr size_t kWhole = static_cast<size_t>(-1);  // the head is every byte of the case

struct HeadCase {
    const char* name;
    std::string bytes;
    HeadResult result;
    size_t length;  // when complete
    std::string method;
    std::string path;
    // Accept, Accept-Language, Accept-Encoding, User-Agent.
    std::array<std::string, 4> headers;
};

// A head read whole: `length` bytes of `bytes` (kWhole: all of them).
HeadCase Read(const char* name, std::string bytes, std::string method, std::string path,
              std::array<std::string, 4> headers = {}, size_t length = kWhole) {
    const size_t taken = length == kWhole ? bytes.size() : length;
    return {name,
            std::move(bytes),
            HeadResult::kComplete,
            taken,
            std::move(method),
            std::move(path),
            std::move(headers)};
}

// A head still open after its request line: what the whole lines gave so far.
HeadCase Open(const char* name, std::string bytes, std::string method, std::string path,
              std::array<std::string, 4> headers = {}) {
    return {name,
            std::move(bytes),
            HeadResult::kIncomplete,
            0,
            std::move(method),
            std::move(path),
            std::move(headers)};
}

// A head still incomplete before its request line is whole, or refused: no request.
HeadCase NotRead(const char* name, std::string bytes, HeadResult result) {
    return {name, std::move(bytes), result, 0, "", "", {}};
}

// "GET /" + `fill` + " HTTP/1.1\r\n": a request line of 16 + fill bytes.
std::string RequestLine(size_t fill) {
    return "GET /" + std::string(fill, 'c') + " HTTP/1.1\r\n";
}

// A literal's bytes, zero bytes included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string HeaderLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "X-Header-" + std::to_string(i) + ": v\r\n";
    return lines;
}

// "User-Agent: " + `fill` bytes + "\r\n": a header line of 14 + fill bytes.
std::string UserAgentLine(size_t fill) {
    return "User-Agent: " + std::string(fill, 'u') + "\r\n";
}

std::vector<HeadCase> Cases() {
    const std::string end = "\r\n\r\n";
    const size_t bound = kMaxRequestLineBytes;
    return {
        // The request line: method, target and what is cut from it.
        Read("get with query and host", "GET /MCDU?x=1 HTTP/1.1\r\nHost: t\r\n\r\n", "GET",
             "/MCDU"),
        Read("post", "POST /resume" + end, "POST", "/resume"),
        Read("no version", "GET /pause" + end, "GET", "/pause"),
        Read("http 1.0", "GET /img/bg.png HTTP/1.0" + end, "GET", "/img/bg.png"),
        Read("other method, blanks before the target", "PUT   /other HTTP/1.1" + end, "", "/other"),
        Read("lower-case method", "get /pause HTTP/1.1" + end, "", "/pause"),
        Read("method run on into the target", "GETX /MCDU HTTP/1.1" + end, "GET", "X /MCDU"),
        Read("post run on", "POSTAL /resume HTTP/1.1" + end, "POST", "AL /resume"),
        Read("one-letter method", "G / HTTP/1.1" + end, "", "HTTP/1.1"),
        Read("tabs", "GET\t/\tHTTP/1.1" + end, "GET", "\t/"),
        Read("line feed alone ends the request line",
             "GET /MCDU_Dspl.png?1700000000 HTTP/1.1\n\r\n", "GET", "/MCDU_Dspl.png"),
        Read("neither decoded nor folded", "GET /A%20b/../C HTTP/1.1" + end, "GET", "/A%20b/../C"),
        Read("only two line-end characters go", "GET /a\r\r\n\r\n", "GET", "/a\r"),
        Read("exactly the version characters", "GET HTTP/1.1" + end, "GET", "HTTP/1.1"),
        Read("nothing before the version", "GET /HTTP/1.1" + end, "GET", ""),
        Read("other versions stay", "GET / HTTP/9.9" + end, "GET", "/ HTTP/9.9"),
        Read("method alone", "GET" + end, "GET", ""),
        Read("query alone", "GET /?" + end, "GET", "/"),
        Read("binary bytes", Bytes("\x00\x01\x02\x03\r\n\r\n"), "", "\x03"),
        Read("zero byte in the target", Bytes("GET /\0MCDU HTTP/1.1\r\n\r\n"), "GET",
             Bytes("/\0MCDU")),
        // The four headers: exact names, "Name: " with its blank, the last one wins, the value
        // cut at its first line-end character.
        Read("headers",
             "GET / HTTP/1.1\r\n"
             "Host: tablet\r\n"
             "Accept: text/html\r\n"
             "accept: lower/case\r\n"
             "Accept-Language: de-DE\r\n"
             "Accept-Encoding: gzip\r\n"
             "User-agent: wrong case\r\n"
             "User-Agent: Tablet/1.0\r\n"
             "Accept:no-blank\r\n"
             "Accept-Encoding: a\rb\r\n"
             "\r\n",
             "GET", "/", {"text/html", "de-DE", "a", "Tablet/1.0"}),
        Read("zero bytes in a value", Bytes("GET / HTTP/1.1\r\nAccept: \x00\x01\r\n\r\n"), "GET",
             "/", {Bytes("\x00\x01"), "", "", ""}),
        // Where the head ends, and that nothing after it is read.
        Read("blank line is a header", "GET / HTTP/1.1\r\n \r\n\r\n", "GET", "/"),
        Read("any line starting with a carriage return ends it",
             "GET / HTTP/1.1\r\n\rjunk\nAccept: late\r\n\r\n", "GET", "/", {}, 22),
        Read("bytes after the head", "GET /first HTTP/1.1\r\n\r\nGET /second HTTP/1.1\r\n\r\n",
             "GET", "/first", {}, 23),
        Read("over-long line after the head",
             "GET / HTTP/1.1\r\n\r\n" + std::string(2 * bound, 'x'), "GET", "/", {}, 18),
        // Not there yet.
        NotRead("nothing", "", HeadResult::kIncomplete),
        NotRead("request line open", "GET / HTTP/1.1", HeadResult::kIncomplete),
        Open("no end line", "GET / HTTP/1.1\r\nAccept: */*\r\n", "GET", "/", {"*/*", "", "", ""}),
        Open("end line open", "GET / HTTP/1.1\r\n\r", "GET", "/"),
        // Lines that cannot start a request.
        NotRead("line feed alone", "\n", HeadResult::kLoneLineFeed),
        NotRead("line feed alone before a request", "\nGET / HTTP/1.1" + end,
                HeadResult::kLoneLineFeed),
        NotRead("head ended by a line feed alone", "GET / HTTP/1.1\n\n", HeadResult::kLoneLineFeed),
        NotRead("line feed alone after a header", "GET / HTTP/1.1\r\nAccept: x\r\n\n",
                HeadResult::kLoneLineFeed),
        NotRead("empty request line", "\r\nGET / HTTP/1.1" + end, HeadResult::kNoTarget),
        NotRead("two-letter request line", "GE\n\n", HeadResult::kNoTarget),
        NotRead("three bytes with the line end", "a\r\n\r\n", HeadResult::kNoTarget),
        // The line bound, line feed included, on either side of it; a line without its line feed
        // is refused as soon as it has reached the bound.
        Read("request line at the bound", RequestLine(bound - 16) + "\r\n", "GET",
             "/" + std::string(bound - 16, 'c')),
        NotRead("request line over the bound", RequestLine(bound - 15) + "\r\n",
                HeadResult::kRequestLineTooLong),
        NotRead("open request line below the bound", std::string(bound - 1, 'G'),
                HeadResult::kIncomplete),
        NotRead("open request line at the bound", std::string(bound, 'G'),
                HeadResult::kRequestLineTooLong),
        NotRead("carriage returns only", std::string(20000, '\r') + end,
                HeadResult::kRequestLineTooLong),
        Read("header line at the bound", "GET / HTTP/1.1\r\n" + UserAgentLine(bound - 14) + "\r\n",
             "GET", "/", {"", "", "", std::string(bound - 14, 'u')}),
        NotRead("header line over the bound",
                "GET / HTTP/1.1\r\n" + UserAgentLine(bound - 13) + "\r\n",
                HeadResult::kHeaderLineTooLong),
        Open("open header line below the bound", "GET / HTTP/1.1\r\n" + std::string(bound - 1, 'h'),
             "GET", "/"),
        NotRead("open header line at the bound", "GET / HTTP/1.1\r\n" + std::string(bound, 'h'),
                HeadResult::kHeaderLineTooLong),
        NotRead("end line over the bound", "GET / HTTP/1.1\r\n" + std::string(bound, '\r') + "\n",
                HeadResult::kHeaderLineTooLong),
        // The header line bound: counted when a header line is whole.
        Read("as many header lines as allowed",
             "GET / HTTP/1.1\r\n" + HeaderLines(kMaxHeaderLines) + "\r\n", "GET", "/"),
        NotRead("one header line too many",
                "GET / HTTP/1.1\r\n" + HeaderLines(kMaxHeaderLines + 1) + "\r\n",
                HeadResult::kTooManyHeaderLines),
        Open("one too many, still open",
             "GET / HTTP/1.1\r\n" + HeaderLines(kMaxHeaderLines) + "X-More: v", "GET", "/"),
    };
}

TEST(RequestHeadTest, HeadsReadAsTheServerReadsThemLineByLine) {
    for (const HeadCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const web::RequestHead head =
            web::ParseRequestHead(c.bytes, {kMaxRequestLineBytes, kMaxHeaderLines});
        EXPECT_EQ(head.result, c.result);
        EXPECT_EQ(head.length, c.length);
        EXPECT_EQ(head.request.method, c.method);
        EXPECT_EQ(head.request.path, c.path);
        const std::array<std::string, 4> headers = {
            head.request.accept, head.request.acceptLanguage, head.request.acceptEncoding,
            head.request.userAgent};
        EXPECT_EQ(headers, c.headers);
        EXPECT_EQ(head.request.status, "202 OK");
        EXPECT_EQ(head.request.client, nullptr);
    }
}

}  // namespace
