#pragma once
// One parsed HTTP request and the answer the page handler fills in. Made per connection by the
// web server thread; all texts are byte strings (the body may hold zero bytes).

#include <map>
#include <string>

class Socket;
class CTarvelXConnectDlg;

struct HttpRequest {
    Socket* client = nullptr;  // the connection (not owned)
    std::string method;        // "GET", "POST", or empty for any other method
    std::string path;          // target without query and version; "/offline" while offline
    std::map<std::string, std::string> params;  // query parameters: always empty
    std::string accept;
    std::string acceptLanguage;
    std::string acceptEncoding;
    std::string userAgent;
    std::string status = "202 OK";  // replaced only for the not-found answer
    std::string body;
};

// The one page handler: reads the request's path (and the owner's state), fills in the body and,
// for the not-found answer only, the status. It sends nothing on the connection itself.
using PageHandler = void (*)(HttpRequest& request, CTarvelXConnectDlg* owner);
