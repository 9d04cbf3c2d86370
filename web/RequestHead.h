#pragma once
// Reading an HTTP request head from the bytes a connection has delivered so far, apart from any
// socket: the request line and header lines with the server's bounds, the method, the path and the
// four headers the pages may use. Nothing here does any input or output, reads a clock or keeps
// state between calls, so a server may call it again each time more bytes arrive, and the fuzzer
// and the tests call it directly.
//
// A line ends with its first line feed (a carriage return before it stays part of the line). The
// result is what reading the head one line at a time, each line waited for in full, gives: a line
// that already breaks a bound is refused before its line feed comes, and nothing past the head is
// looked at.

#include <cstddef>
#include <string>
#include <string_view>

#include "web/HttpRequest.h"

namespace web {

// How far a head got. Each refusal is one reason the server logs before closing the connection.
enum class HeadResult {
    kIncomplete,  // no line feed yet where one is needed, and no bound broken: more bytes decide
    kComplete,    // request line, header lines and the line that ends the head are all there
    kRequestLineTooLong,  // "request line longer than ... bytes"
    kHeaderLineTooLong,   // "header line longer than ... bytes"
    kTooManyHeaderLines,  // "more than ... header lines"
    kNoTarget,            // "request line without a target"
    kLoneLineFeed,        // a line that is a line feed alone ("empty line received: [\n]")
};

// Bounds a head must keep (the server's are kMaxRequestLineBytes and kMaxHeaderLines).
struct HeadBounds {
    size_t maxLineBytes;  // per line, line feed included; at least 1
    int maxHeaderLines;   // header lines, not counting the line that ends the head
};

struct RequestHead {
    HeadResult result = HeadResult::kIncomplete;
    // When complete: the method ("GET", "POST" or empty), the path (ParseRequestTarget of the
    // request line's target), the four captured headers and the status "202 OK"; no connection.
    // When incomplete with the request line whole: what the whole lines so far gave, for a server
    // told to stop while a head is open, which still hands on what it has read. Otherwise empty.
    HttpRequest request;
    // When complete: bytes of the head, the line that ends it included. The bytes after it are
    // never read.
    size_t length = 0;
};

// Reads the head at the start of `received`. The line that ends a head is the first header line
// that starts with a carriage return; a line that is a line feed alone is refused, in the request
// line's place as in a header's. Header lines are counted when their line feed has come, so a
// head of `maxHeaderLines` headers is refused only when one more complete header line follows.
RequestHead ParseRequestHead(std::string_view received, HeadBounds bounds);

// The path of a request target: line end, " HTTP/1.x" version and query removed; not decoded.
// At most two line-end characters go, carriage returns and line feeds in any order.
std::string ParseRequestTarget(const std::string& target);

// Fills `request`'s method ("GET", "POST" or empty for any other) and path from a request line,
// whose line end may still be on it. False when the line names no target.
bool ParseRequestLine(std::string_view line, HttpRequest& request);

// Stores the value of one of the four headers the pages may use from one header line without its
// line end; other headers are ignored. Names are compared case-sensitively and the value is the
// rest after "Name: ", so a repeated header replaces the earlier value.
void CaptureHeader(HttpRequest& request, const std::string& line);

}  // namespace web
