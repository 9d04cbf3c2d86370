#include "web/RequestHead.h"

#include <cstring>
#include <utility>

namespace web {

namespace {

// One line of the head as far as it has come.
struct Line {
    enum class State { kWhole, kTooLong, kOpen } state;
    std::string_view text;  // when whole: the line with its line feed
};

// The line starting at `from`. A line is too long as soon as `maxLineBytes` bytes have come
// without a line feed among them: its line feed, when it comes, can only make it longer.
Line LineAt(std::string_view received, size_t from, size_t maxLineBytes) {
    const std::string_view rest = received.substr(from);
    const size_t lineFeed = rest.find('\n');
    const size_t length = lineFeed != std::string_view::npos ? lineFeed + 1 : rest.size();
    if (lineFeed == std::string_view::npos) {
        if (length >= maxLineBytes) return {Line::State::kTooLong, {}};
        return {Line::State::kOpen, {}};
    }
    if (length > maxLineBytes) return {Line::State::kTooLong, {}};
    return {Line::State::kWhole, rest.substr(0, length)};
}

// A head still incomplete, or refused: no request, no length.
RequestHead NotRead(HeadResult result) {
    RequestHead head;
    head.result = result;
    return head;
}

}  // namespace

RequestHead ParseRequestHead(std::string_view received, HeadBounds bounds) {
    const Line requestLine = LineAt(received, 0, bounds.maxLineBytes);
    if (requestLine.state == Line::State::kTooLong) return NotRead(HeadResult::kRequestLineTooLong);
    if (requestLine.state == Line::State::kOpen) return NotRead(HeadResult::kIncomplete);
    const std::string_view line = requestLine.text;
    if (line.size() == 1) return NotRead(HeadResult::kLoneLineFeed);

    HttpRequest request;
    if (!ParseRequestLine(line, request)) return NotRead(HeadResult::kNoTarget);

    size_t at = line.size();
    int headerLines = 0;
    for (;;) {
        const Line headerLine = LineAt(received, at, bounds.maxLineBytes);
        if (headerLine.state == Line::State::kTooLong)
            return NotRead(HeadResult::kHeaderLineTooLong);
        if (headerLine.state == Line::State::kOpen) {
            RequestHead head;
            head.request = std::move(request);
            return head;
        }
        const std::string_view header = headerLine.text;
        at += header.size();
        if (header.size() == 1) return NotRead(HeadResult::kLoneLineFeed);
        // Not only "\r\n": any line that starts with a carriage return ends the head.
        if (header[0] == '\r') break;
        if (++headerLines > bounds.maxHeaderLines) return NotRead(HeadResult::kTooManyHeaderLines);
        CaptureHeader(request, std::string(header.substr(0, header.find_first_of("\r\n"))));
    }
    RequestHead head;
    head.result = HeadResult::kComplete;
    head.request = std::move(request);
    head.length = at;
    return head;
}

std::string ParseRequestTarget(const std::string& target) {
    std::string path = target;
    for (int i = 0; i < 2; ++i) {
        if (!path.empty() && (path.back() == '\r' || path.back() == '\n')) path.pop_back();
    }
    // " HTTP/1.x" at the end: a target of exactly the 8 version characters is left as it is.
    constexpr size_t kVersionLength = 8;  // "HTTP/1.1"
    if (path.size() > kVersionLength &&
        path.compare(path.size() - kVersionLength, 7, "HTTP/1.") == 0) {
        path.erase(path.size() - kVersionLength - 1);
    }
    const size_t query = path.find('?');
    if (query != std::string::npos) path.erase(query);
    return path;
}

void CaptureHeader(HttpRequest& request, const std::string& line) {
    static const struct {
        const char* prefix;
        std::string HttpRequest::*field;
    } kHeaders[] = {
        {"Accept: ", &HttpRequest::accept},
        {"Accept-Language: ", &HttpRequest::acceptLanguage},
        {"Accept-Encoding: ", &HttpRequest::acceptEncoding},
        {"User-Agent: ", &HttpRequest::userAgent},
    };
    for (const auto& header : kHeaders) {
        const size_t length = std::strlen(header.prefix);
        if (line.compare(0, length, header.prefix) == 0) {
            request.*header.field = line.substr(length);
            return;
        }
    }
}

bool ParseRequestLine(std::string_view line, HttpRequest& request) {
    if (line.starts_with("GET")) {
        request.method = "GET";
    } else if (line.starts_with("POST")) {
        request.method = "POST";
    }
    // Any other method is read as if it were three letters long.
    const size_t targetFrom = line.find_first_not_of(' ', request.method == "POST" ? 4 : 3);
    if (targetFrom == std::string_view::npos) return false;
    request.path = ParseRequestTarget(std::string(line.substr(targetFrom)));
    return true;
}

}  // namespace web
