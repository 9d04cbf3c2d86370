#pragma once
// The page handler: every parsed request is answered here by its path alone.
//
//   "/"                   status page of the flight values
//   "/pause", "/resume"   please-wait page, then the pause or resume command
//   "/offline"            the page shown while the simulator is away
//   contains .jpg/.png    image file from disk
//   "/MCDU"               remote MCDU frameset
//   "/MCDU_main"          remote MCDU keyboard and display
//   contains "MCDU_KB_"   remote MCDU key press (the key is left for the server to forward)
//   anything else         404 page
//
// Paths are compared byte for byte and case-sensitively, in that order.

#include <string>

#include "web/HttpRequest.h"

namespace web {

class ServerHost;

// The PageHandler of the web server: reads the path, fills the body (and, for the not-found
// answer only, the status).
void ServePage(HttpRequest& request, ServerHost& host);

// The frame the status, please-wait, offline and not-found pages share.
std::string BuildFramedPage(const std::string& headOpening, const std::string& title,
                            const std::string& content);
std::string BuildPleaseWaitPage();
std::string BuildOfflinePage();
std::string BuildNotFoundPage();

}  // namespace web
