#include "web/PageHandler.h"

#include "sim/FlightData.h"
#include "web/FormatNumber.h"
#include "web/ImageFile.h"
#include "web/McduPages.h"
#include "web/ServerHost.h"
#include "web/StatusPage.h"

namespace web {

namespace {

constexpr const char* kBackgroundColour = "#ffffff";
constexpr double kStatusRefreshSeconds = 30.0;

bool Contains(const std::string& text, const char* needle) {
    return text.find(needle) != std::string::npos;
}

void AnswerNotFound(HttpRequest& request) {
    request.status = "404 Not Found";
    request.body = BuildNotFoundPage();
}

std::string BuildStatusPage(web::ServerHost& host) {
    // The clock is read first: the page shows when it was built, not when the values arrived.
    const TimeOfDay now = StatusPageNow();
    sim::FlightData data{};
    host.GetFlightData(data);
    return BuildFramedPage("<html><head><meta http-equiv=\"refresh\" content=\"" +
                               FormatNumber(kStatusRefreshSeconds, "", false, false) + "\"><title>",
                           "Quennick Tarvel X Connect Extended",
                           BuildStatusContent(data, host.IsSimPaused(), now));
}

void ServeKeyPress(HttpRequest& request) {
    // The page goes back whatever becomes of the key: its script refreshes the display either
    // way. Negative codes (which would forge the close or probe message) are refused, with a log
    // line naming them, by the pipe client itself, as the server hands it every code.
    request.body = BuildMcduKeyCommandPage();
    request.mcduKey = McduKeyCodeFromPath(request.path);
}

}  // namespace

std::string BuildFramedPage(const std::string& headOpening, const std::string& title,
                            const std::string& content) {
    return headOpening + title + "</title></head><body bgcolor='" + kBackgroundColour + "'>" +
           content + "</body></html>";
}

std::string BuildPleaseWaitPage() {
    return BuildFramedPage("<html><head><meta http-equiv=\"refresh\" content=\"1;url=/\"><title>",
                           "Please wait...", "");
}

std::string BuildOfflinePage() {
    return BuildFramedPage("<html><head><title>", "FSX is offline",
                           "<font face=Verdana><h2>Tarvel X Connect Extended</h2><h3><font "
                           "color=red>FSX is offline</font></h3></font>");
}

std::string BuildNotFoundPage() {
    return BuildFramedPage("<html><head><title>", "404 Not Found",
                           "<font face=Verdana><h2>404 Not Found</h2></font>");
}

void ServePage(HttpRequest& request, web::ServerHost& host) {
    const std::string& path = request.path;
    if (path == "/") {
        request.body = BuildStatusPage(host);
    } else if (path == "/pause" || path == "/resume") {
        // The answer does not wait for the simulator: the page returns to "/",
        // which shows the pause state the simulator reports by then.
        request.body = BuildPleaseWaitPage();
        host.PauseSim(path == "/pause");
    } else if (path == "/offline") {
        request.body = BuildOfflinePage();
    } else if (Contains(path, ".jpg") || Contains(path, ".png")) {
        if (!ServeImageFile(request, host.SettingsFolder())) AnswerNotFound(request);
    } else if (path == "/MCDU") {
        request.body = BuildMcduFramesetPage();
    } else if (path == "/MCDU_main") {
        // The page never changes, and building its 69 map areas costs more than sending it.
        static const std::string mainPage = BuildMcduMainPage();
        request.body = mainPage;
    } else if (Contains(path, "MCDU_KB_")) {
        ServeKeyPress(request);
    } else {
        AnswerNotFound(request);
    }
}

}  // namespace web
