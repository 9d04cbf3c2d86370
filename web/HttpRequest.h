#pragma once
// One parsed HTTP request and the answer the page handler fills in. Made per connection by the
// web server thread; all texts are byte strings (the body may hold zero bytes).

#include <optional>
#include <string>

namespace web {

class ServerHost;

struct HttpRequest {
    std::string method;  // "GET", "POST", or empty for any other method
    std::string path;    // target without query and version; "/offline" while offline
    std::string accept;
    std::string acceptLanguage;
    std::string acceptEncoding;
    std::string userAgent;
    std::string status = "202 OK";  // replaced only for the not-found answer
    std::string body;
    // The MCDU key code the page asks the server to forward to the gauge, right after the
    // handler has answered; set for every key-press path, a refused code included.
    std::optional<int> mcduKey;
};

// The one page handler: reads the request's path (and the host's state), fills in the body and,
// for the not-found answer only, the status; a key press it leaves in mcduKey. It sends nothing
// on the connection or the pipe itself.
using PageHandler = void (*)(HttpRequest& request, ServerHost& host);

}  // namespace web
