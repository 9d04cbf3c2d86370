#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "log/Log.h"
#include "platform/Paths.h"
#include "tests/support/FakeServerHost.h"
#include "tests/support/GaugeEnd.h"
#include "tests/support/Golden.h"
#include "tests/support/TcpClient.h"
#include "tests/support/TestSupport.h"
#include "web/McduKeyTable.h"
#include "web/McduPages.h"
#include "web/PageHandler.h"
#include "web/WebServer.h"

namespace {

using web::AppendMapArea;
using web::BuildMcduFramesetPage;
using web::BuildMcduKeyCommandPage;
using web::BuildMcduMainPage;
using web::BuildOfflinePage;
using web::HttpRequest;
using web::McduKey;
using web::McduKeyCodeFromPath;
using web::McduKeyTable;
using web::ServePage;
using web::WebServer;

// Splits a page at its line feeds. The text after the last line feed (empty when the page ends
// with one) is returned in `tail`.
std::vector<std::string> SplitLines(const std::string& page, std::string& tail) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = page.find('\n'); end != std::string::npos; end = page.find('\n', start)) {
        lines.push_back(page.substr(start, end - start));
        start = end + 1;
    }
    tail = page.substr(start);
    return lines;
}

void ExpectLines(const std::vector<std::string>& actual, size_t first,
                 const std::vector<std::string>& expected) {
    ASSERT_GE(actual.size(), first + expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[first + i], expected[i]) << "line " << first + i + 1;
    }
}

int CountOf(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

const std::vector<std::string> kMapLines = {
    R"~(        <AREA shape="rect" coords="22,124,62,152" onclick="parent.btn('/MCDU_KB_00')"> <!-- LSK 1-->)~",
    R"~(        <AREA shape="rect" coords="22,174,62,202" onclick="parent.btn('/MCDU_KB_01')"> <!-- LSK 2-->)~",
    R"~(        <AREA shape="rect" coords="22,223,62,251" onclick="parent.btn('/MCDU_KB_02')"> <!-- LSK 3-->)~",
    R"~(        <AREA shape="rect" coords="22,273,62,301" onclick="parent.btn('/MCDU_KB_03')"> <!-- LSK 4-->)~",
    R"~(        <AREA shape="rect" coords="22,322,62,350" onclick="parent.btn('/MCDU_KB_04')"> <!-- LSK 5-->)~",
    R"~(        <AREA shape="rect" coords="22,372,62,400" onclick="parent.btn('/MCDU_KB_05')"> <!-- LSK 6-->)~",
    R"~(        <AREA shape="rect" coords="515,124,555,152" onclick="parent.btn('/MCDU_KB_06')"> <!-- RSK 1-->)~",
    R"~(        <AREA shape="rect" coords="515,174,555,202" onclick="parent.btn('/MCDU_KB_07')"> <!-- RSK 2-->)~",
    R"~(        <AREA shape="rect" coords="515,223,555,251" onclick="parent.btn('/MCDU_KB_08')"> <!-- RSK 3-->)~",
    R"~(        <AREA shape="rect" coords="515,273,555,301" onclick="parent.btn('/MCDU_KB_09')"> <!-- RSK 4-->)~",
    R"~(        <AREA shape="rect" coords="515,322,555,350" onclick="parent.btn('/MCDU_KB_10')"> <!-- RSK 5-->)~",
    R"~(        <AREA shape="rect" coords="515,372,555,400" onclick="parent.btn('/MCDU_KB_11')"> <!-- RSK 6-->)~",
    R"~(        <AREA shape="rect" coords="79,470,132,506" onclick="parent.btn('/MCDU_KB_12')"> <!-- FN DIR-->)~",
    R"~(        <AREA shape="rect" coords="144,470,197,506" onclick="parent.btn('/MCDU_KB_13')"> <!-- FN PRG-->)~",
    R"~(        <AREA shape="rect" coords="208,470,261,506" onclick="parent.btn('/MCDU_KB_20')"> <!-- FN PRF-->)~",
    R"~(        <AREA shape="rect" coords="273,470,326,506" onclick="parent.btn('/MCDU_KB_21')"> <!-- FN INI-->)~",
    R"~(        <AREA shape="rect" coords="337,470,390,506" onclick="parent.btn('/MCDU_KB_22')"> <!-- FN DAT-->)~",
    R"~(        <AREA shape="rect" coords="79,517,132,553" onclick="parent.btn('/MCDU_KB_14')"> <!-- FN FPLN-->)~",
    R"~(        <AREA shape="rect" coords="144,517,197,553" onclick="parent.btn('/MCDU_KB_15')"> <!-- FN RADN-->)~",
    R"~(        <AREA shape="rect" coords="208,517,261,553" onclick="parent.btn('/MCDU_KB_23')"> <!-- FN FUEL-->)~",
    R"~(        <AREA shape="rect" coords="273,517,326,553" onclick="parent.btn('/MCDU_KB_24')"> <!-- FN SECF-->)~",
    R"~(        <AREA shape="rect" coords="402,517,455,553" onclick="parent.btn('/MCDU_KB_26')"> <!-- FN MENU-->)~",
    R"~(        <AREA shape="rect" coords="79,565,132,601" onclick="parent.btn('/MCDU_KB_16')"> <!-- FN ARPT-->)~",
    R"~(        <AREA shape="rect" coords="79,612,132,648" onclick="parent.btn('/MCDU_KB_25')"> <!-- AR L-->)~",
    R"~(        <AREA shape="rect" coords="144,612,197,648" onclick="parent.btn('/MCDU_KB_17')"> <!-- AR U-->)~",
    R"~(        <AREA shape="rect" coords="79,659,132,695" onclick="parent.btn('/MCDU_KB_18')"> <!-- AR R-->)~",
    R"~(        <AREA shape="rect" coords="144,659,197,695" onclick="parent.btn('/MCDU_KB_19')"> <!-- AR D-->)~",
    R"~(        <AREA shape="rect" coords="75,720,114,759" onclick="parent.btn('/MCDU_KB_28')"> <!-- AL 1-->)~",
    R"~(        <AREA shape="rect" coords="127,720,166,759" onclick="parent.btn('/MCDU_KB_29')"> <!-- AL 2-->)~",
    R"~(        <AREA shape="rect" coords="179,720,218,759" onclick="parent.btn('/MCDU_KB_30')"> <!-- AL 3-->)~",
    R"~(        <AREA shape="rect" coords="75,768,114,807" onclick="parent.btn('/MCDU_KB_31')"> <!-- AL 4-->)~",
    R"~(        <AREA shape="rect" coords="127,768,166,807" onclick="parent.btn('/MCDU_KB_32')"> <!-- AL 5-->)~",
    R"~(        <AREA shape="rect" coords="179,768,218,807" onclick="parent.btn('/MCDU_KB_33')"> <!-- AL 6-->)~",
    R"~(        <AREA shape="rect" coords="75,815,114,854" onclick="parent.btn('/MCDU_KB_34')"> <!-- AL 7-->)~",
    R"~(        <AREA shape="rect" coords="127,815,166,854" onclick="parent.btn('/MCDU_KB_35')"> <!-- AL 8-->)~",
    R"~(        <AREA shape="rect" coords="179,815,218,854" onclick="parent.btn('/MCDU_KB_36')"> <!-- AL 9-->)~",
    R"~(        <AREA shape="rect" coords="75,863,114,902" onclick="parent.btn('/MCDU_KB_37')"> <!-- AL .-->)~",
    R"~(        <AREA shape="rect" coords="127,863,166,902" onclick="parent.btn('/MCDU_KB_27')"> <!-- AL 0-->)~",
    R"~(        <AREA shape="rect" coords="179,863,218,902" onclick="parent.btn('/MCDU_KB_65')"> <!-- AL +-->)~",
    R"~(        <AREA shape="rect" coords="235,584,275,624" onclick="parent.btn('/MCDU_KB_39')"> <!-- AL A-->)~",
    R"~(        <AREA shape="rect" coords="291,584,331,624" onclick="parent.btn('/MCDU_KB_40')"> <!-- AL B-->)~",
    R"~(        <AREA shape="rect" coords="348,584,388,624" onclick="parent.btn('/MCDU_KB_41')"> <!-- AL C-->)~",
    R"~(        <AREA shape="rect" coords="404,584,444,624" onclick="parent.btn('/MCDU_KB_42')"> <!-- AL D-->)~",
    R"~(        <AREA shape="rect" coords="460,584,500,624" onclick="parent.btn('/MCDU_KB_43')"> <!-- AL E-->)~",
    R"~(        <AREA shape="rect" coords="235,639,275,679" onclick="parent.btn('/MCDU_KB_44')"> <!-- AL F-->)~",
    R"~(        <AREA shape="rect" coords="291,639,331,679" onclick="parent.btn('/MCDU_KB_45')"> <!-- AL G-->)~",
    R"~(        <AREA shape="rect" coords="348,639,388,679" onclick="parent.btn('/MCDU_KB_46')"> <!-- AL H-->)~",
    R"~(        <AREA shape="rect" coords="404,639,444,679" onclick="parent.btn('/MCDU_KB_47')"> <!-- AL I-->)~",
    R"~(        <AREA shape="rect" coords="460,639,500,679" onclick="parent.btn('/MCDU_KB_48')"> <!-- AL J-->)~",
    R"~(        <AREA shape="rect" coords="235,695,275,735" onclick="parent.btn('/MCDU_KB_49')"> <!-- AL K-->)~",
    R"~(        <AREA shape="rect" coords="291,695,331,735" onclick="parent.btn('/MCDU_KB_50')"> <!-- AL L-->)~",
    R"~(        <AREA shape="rect" coords="348,695,388,735" onclick="parent.btn('/MCDU_KB_51')"> <!-- AL M-->)~",
    R"~(        <AREA shape="rect" coords="404,695,444,735" onclick="parent.btn('/MCDU_KB_52')"> <!-- AL N-->)~",
    R"~(        <AREA shape="rect" coords="460,695,500,735" onclick="parent.btn('/MCDU_KB_53')"> <!-- AL O-->)~",
    R"~(        <AREA shape="rect" coords="235,750,275,790" onclick="parent.btn('/MCDU_KB_54')"> <!-- AL P-->)~",
    R"~(        <AREA shape="rect" coords="291,750,331,790" onclick="parent.btn('/MCDU_KB_55')"> <!-- AL Q-->)~",
    R"~(        <AREA shape="rect" coords="348,750,388,790" onclick="parent.btn('/MCDU_KB_56')"> <!-- AL R-->)~",
    R"~(        <AREA shape="rect" coords="404,750,444,790" onclick="parent.btn('/MCDU_KB_57')"> <!-- AL S-->)~",
    R"~(        <AREA shape="rect" coords="460,750,500,790" onclick="parent.btn('/MCDU_KB_58')"> <!-- AL T-->)~",
    R"~(        <AREA shape="rect" coords="235,806,275,846" onclick="parent.btn('/MCDU_KB_59')"> <!-- AL U-->)~",
    R"~(        <AREA shape="rect" coords="291,806,331,846" onclick="parent.btn('/MCDU_KB_60')"> <!-- AL V-->)~",
    R"~(        <AREA shape="rect" coords="348,806,388,846" onclick="parent.btn('/MCDU_KB_61')"> <!-- AL W-->)~",
    R"~(        <AREA shape="rect" coords="404,806,444,846" onclick="parent.btn('/MCDU_KB_62')"> <!-- AL X-->)~",
    R"~(        <AREA shape="rect" coords="460,806,500,846" onclick="parent.btn('/MCDU_KB_63')"> <!-- AL Y-->)~",
    R"~(        <AREA shape="rect" coords="235,861,275,901" onclick="parent.btn('/MCDU_KB_64')"> <!-- AL Z-->)~",
    R"~(        <AREA shape="rect" coords="291,861,331,901" onclick="parent.btn('/MCDU_KB_38')"> <!-- AL /-->)~",
    R"~(        <AREA shape="rect" coords="348,861,388,901" onclick="parent.btn('/MCDU_KB_66')"> <!-- AL SP-->)~",
    R"~(        <AREA shape="rect" coords="404,861,444,901" onclick="parent.btn('/MCDU_KB_67')"> <!-- AL OVFY-->)~",
    R"~(        <AREA shape="rect" coords="460,861,500,901" onclick="parent.btn('/MCDU_KB_68')"> <!-- AL CLR-->)~",
};

TEST(McduPages, FramesetPageIsTwentyOneLinesEndingWithLineFeed) {
    std::string tail;
    const std::vector<std::string> lines = SplitLines(BuildMcduFramesetPage(), tail);
    EXPECT_EQ(tail, "");
    ASSERT_EQ(lines.size(), 21u);
    ExpectLines(
        lines, 0,
        {
            "<html>",
            "<head>",
            "\t<title>Quennick Tarvel MCDU</title>",
            "\t"
            R"~(<meta http-equiv="Content-type" content="text/html; charset=ISO-8859-1">)~",
            R"~(  <meta name="apple-mobile-web-app-capable" content="yes" />)~",
            R"~(  <meta name="viewport" id="viewport" content="width=980" />)~",
            "</head>",
            "",
            R"~(<script type="text/javascript">)~",
            R"~(  if (window.navigator.standalone) document.getElementById('viewport').setAttribute('content', 'width=705');)~",
            "  function btn(s){",
            "    top.frames['frame_cmd'].location=s;",
            "  }",
            "</script>",
            "",
            R"~(<frameset rows="0,*" border="0">)~",
            R"~(  <FRAME NAME="frame_cmd" SRC="" SCROLLING=NO FRAMEBORDER=0 marginwidth=0 marginheight=0 noresize>)~",
            R"~(  <FRAME NAME="frame_main" SRC="MCDU_main" SCROLLING=NO FRAMEBORDER=0 marginwidth=0 marginheight=0 noresize>)~",
            "</frameset>",
            "",
            "</html>",
        });
    // Line 4 starts with a real tab byte, not blanks or a backslash.
    EXPECT_EQ(lines[3][0], '\t');
}

TEST(McduPages, KeyboardPageIsOneHundredSeventeenLinesWithTheMapInTableOrder) {
    const std::string page = BuildMcduMainPage();
    std::string tail;
    const std::vector<std::string> lines = SplitLines(page, tail);
    EXPECT_EQ(tail, "");
    ASSERT_EQ(lines.size(), 117u);
    ExpectLines(
        lines, 0,
        {
            "<html>",
            "<head>",
            "  <title>Quennick Tarvel MCDU</title>",
            R"~(  <meta http-equiv="Content-type" content="text/html; charset=ISO-8859-1">)~",
            R"~(  <script type="text/javascript">)~",
            "  var i=new Image();",
            "  setInterval(updateDisplay, 1000);",
            "  function updateDisplay() {",
            "    i.onerror=function() { setTimeout(updateDisplay,050); };",
            "    i.onload=function() { paintDisplay(i); };",
            R"~(    i.src="MCDU_Dspl.png?"+(new Date()).getTime();)~",
            "  }",
            "  function paintDisplay(imgObj) {",
            "    var canvasObj = document.getElementById('mcducanvas').getContext('2d');",
            "    canvasObj.drawImage(imgObj,19,16,273,250,0,0,370,364);",
            "    var imd = canvasObj.getImageData(0, 0, 370,364);",
            "    var numPixels = 370 * 364 * 4;",
            "    for (var k = 0; k < numPixels; k += 4) if (imd.data[k]==0 && imd.data[k+1]==0 && "
            "imd.data[k+2] == 0) imd.data[k+3] = 0;",
            "    canvasObj.putImageData(imd, 0, 0);",
            "  }",
            "  updateDisplay();",
            "  </script>",
            R"~(  <style type="text/css">)~",
            "    body { background-color:black; margin:0px; }",
            "    #parent { position: relative; width:576px; margin-left:auto; margin-right:auto; }",
            "    #mcdu_background { position:absolute; }",
            "    #mcdu_display { position:absolute; left:103px; top: 72px; width: 370px; height: "
            "364px; }",
            "  </style>",
            "</head>",
            R"~(<body onload="updateDisplay()">)~",
            R"~(  <div id="parent">)~",
            R"~(    <div id="mcdu_background">)~",
            R"~(      <img src="mcdu_bg.jpg" usemap="#kb_map" />)~",
            R"~(      <map name="kb_map">)~",
        });
    ExpectLines(lines, 34, kMapLines);
    ExpectLines(lines, 103,
                {
                    "      </map>",
                    "    </div>",
                    R"~(    <div id="mcdu_display">)~",
                    R"~(      <canvas id="mcducanvas" width="370" height="364" />)~",
                    "    </div>",
                    "  </div>",
                    "</body>",
                    R"~(<script type="text/javascript">)~",
                    "  var v,c;",
                    "  var l=document.getElementById('parent');",
                    "  "
                    "l.addEventListener('touchstart',function(e){v=e.touches.length!=1?false:true;"
                    "c=document.elementFromPoint(e.touches[0].pageX,e.touches[0].pageY);});",
                    "  "
                    "l.addEventListener('touchend',function(e){e.preventDefault();if(v){c.click();"
                    "v=false;}});",
                    "</script>",
                    "</html>",
                });

    // The display size stands in exactly five places, and nowhere else.
    EXPECT_EQ(CountOf(page, "370"), 5);
    EXPECT_EQ(CountOf(page, "364"), 5);
    for (const size_t line : {15u, 16u, 17u, 27u, 107u}) {
        EXPECT_NE(lines[line - 1].find("370"), std::string::npos) << "line " << line;
        EXPECT_NE(lines[line - 1].find("364"), std::string::npos) << "line " << line;
    }
    EXPECT_EQ(CountOf(page, "<AREA "), 69);
}

TEST(McduPages, KeyCommandPageEndsWithoutLineFeed) {
    const std::string page = BuildMcduKeyCommandPage();
    std::string tail;
    const std::vector<std::string> lines = SplitLines(page, tail);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(tail, "</html>");
    EXPECT_NE(page.back(), '\n');
    ExpectLines(lines, 0,
                {
                    "<html><head><title></title></head>",
                    R"~(<script type="text/javascript">)~",
                    "var c=0;",
                    "var i=new Image();",
                    "var a=setInterval(u,250);",
                    "function u(){",
                    "  i.onerror=function() { setTimeout(u,050); };",
                    "  i.onload=function() { parent.frame_main.paintDisplay(i); };",
                    R"~(  i.src="MCDU_Dspl.png?"+(new Date()).getTime();)~",
                    "  if(++c>3)clearInterval(a);",
                    "}",
                    "u();",
                    "</script>",
                });
}

// The three pages of the remote MCDU as a tablet receives them; the keyboard page's image map
// holds every key's path, rectangle and label.
TEST(McduPages, PagesByteForByte) {
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-frameset.html", BuildMcduFramesetPage()));
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-main.html", BuildMcduMainPage()));
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-key-command.html", BuildMcduKeyCommandPage()));
}

// Every key of the table with the code a press of its path hands to the pipe, one line each:
// path, code, label. The table's own code field must say the same.
TEST(McduPages, KeyTableAsServed) {
    txtest::FakeServerHost host;
    std::string table;
    for (const McduKey& key : McduKeyTable) {
        HttpRequest request;
        request.path = key.path;
        ServePage(request, host);
        ASSERT_TRUE(request.mcduKey.has_value()) << key.path;
        EXPECT_EQ(*request.mcduKey, key.code) << key.path;
        table +=
            std::string(key.path) + " " + std::to_string(*request.mcduKey) + " " + key.label + "\n";
    }
    EXPECT_TRUE(txtest::MatchesGolden("mcdu-keys.txt", table));
}

TEST(McduPages, MapAreaRoundsHalfUpAndAppends) {
    std::string page = "before\n";
    AppendMapArea(page, 22.5f, 124.49f, 0.0f, 0.4999f, "/p", "L");
    AppendMapArea(page, 143.8f, 617.7f, 2047.5f, 99999.0f, "/MCDU_KB_17", "AR U");
    EXPECT_EQ(
        page,
        "before\n"
        R"~(        <AREA shape="rect" coords="23,124,0,0" onclick="parent.btn('/p')"> <!-- L-->)~"
        "\n"
        R"~(        <AREA shape="rect" coords="144,618,2048,99999" onclick="parent.btn('/MCDU_KB_17')"> <!-- AR U-->)~"
        "\n");
}

TEST(McduPages, KeyTablePathsCarryTheirCodesOnce) {
    std::set<int> codes;
    for (const McduKey& key : McduKeyTable) {
        EXPECT_EQ(McduKeyCodeFromPath(key.path), key.code) << key.path;
        EXPECT_TRUE(codes.insert(key.code).second) << "code " << key.code << " twice";
    }
    EXPECT_EQ(codes.size(), 69u);
    EXPECT_EQ(*codes.begin(), 0);
    EXPECT_EQ(*codes.rbegin(), 68);
}

TEST(McduPages, KeyCodeIsTheLastTwoCharactersReadAsAtoiReadsThem) {
    struct Case {
        const char* path;
        int code;
    };
    for (const Case& c :
         {Case{"/MCDU_KB_07", 7}, Case{"/MCDU_KB_68", 68}, Case{"/xyzMCDU_KB_12", 12},
          Case{"/MCDU_KB_5", 0}, Case{"/MCDU_KB_123", 23}, Case{"/MCDU_KB_99", 99},
          Case{"/MCDU_KB_-1", -1}, Case{"/MCDU_KB_-2", -2}, Case{"/MCDU_KB_ 5", 5},
          Case{"/MCDU_KB_+5", 5}, Case{"/MCDU_KB_7x", 7}, Case{"/MCDU_KB_ab", 0},
          Case{"/MCDU_KB_", 0}, Case{"/MCDU_KB_1\t", 1}}) {
        EXPECT_EQ(McduKeyCodeFromPath(c.path), c.code) << c.path;
    }
    EXPECT_EQ(McduKeyCodeFromPath(""), 0);
    EXPECT_EQ(McduKeyCodeFromPath("7"), 7);
}

using txtest::GaugeEnd;

TEST(McduKeyRoute, KeyCodesArriveAtTheGaugeAndNegativeOnesNever) {
    txtest::Sandbox sandbox;
    sandbox.Apply();
    txtest::TempDir dir;
    const std::string logPath = dir.path() + "/test.log";
    ASSERT_TRUE(logging::LogFile.Open(logPath));
    GaugeEnd gauge(platform::McduPipePath());
    ASSERT_TRUE(gauge.listening());

    txtest::FakeServerHost host(dir.path() + "/");
    auto server = std::make_unique<WebServer>(0, &ServePage, host);
    ASSERT_TRUE(server->ConnectMcduPipe());
    ASSERT_TRUE(gauge.Accept());

    struct Press {
        const char* path;
        const char* bytes;  // what the gauge must receive for it
    };
    const Press presses[] = {
        {"/MCDU_KB_07", "\x07"},  {"/xyzMCDU_KB_12", "\x0c"}, {"/MCDU_KB_5", "\x00"},
        {"/MCDU_KB_-1", nullptr}, {"/MCDU_KB_123", "\x17"},   {"/MCDU_KB_-2", nullptr},
        {"/MCDU_KB_99", "\x63"},  {"/MCDU_KB_68", "\x44"},
    };
    std::string expected;
    for (const Press& press : presses) {
        HttpRequest request;
        request.path = press.path;
        ServePage(request, host);
        EXPECT_EQ(request.status, "202 OK") << press.path;
        EXPECT_EQ(request.body, BuildMcduKeyCommandPage()) << press.path;
        // Every key-press path hands its code on, a negative one too: the pipe refuses it.
        ASSERT_TRUE(request.mcduKey.has_value()) << press.path;
        server->SendKey(*request.mcduKey);
        if (press.bytes != nullptr) expected += std::string(1, press.bytes[0]) + '\0';
    }
    // Closing our end lets the gauge read to the end: nothing may follow the expected bytes.
    server.reset();
    EXPECT_EQ(gauge.Read(expected.size() + 1), expected);

    const std::string log = txtest::ReadLog(logPath);
    logging::LogFile.Close();
    EXPECT_EQ(txtest::CountLines(log, "Code: "), 6);
    // Whole phrases: the log's lines also carry the pipe's path, whose random part may hold "-1".
    EXPECT_EQ(txtest::CountLines(log, "key code -1:"), 1) << log;
    EXPECT_EQ(txtest::CountLines(log, "key code -2:"), 1) << log;
}

// The body of a response: what follows the empty line, without the line feed the server adds.
std::string BodyOf(const std::string& response) {
    const size_t start = response.find("\n\n");
    if (start == std::string::npos || response.empty() || response.back() != '\n') return "<none>";
    return response.substr(start + 2, response.size() - start - 3);
}

TEST(McduKeyRoute, PagesAndKeysThroughTheServer) {
    using namespace std::chrono_literals;
    txtest::Sandbox sandbox;
    sandbox.Apply();
    sandbox.CreateSettingsFolder();
    const std::string logPath = sandbox.settings() + "test.log";
    ASSERT_TRUE(logging::LogFile.Open(logPath));
    GaugeEnd gauge(platform::McduPipePath());
    ASSERT_TRUE(gauge.listening());

    const int port = txtest::FreeTcpPort();
    txtest::FakeServerHost host(sandbox.settings());
    auto server = std::make_unique<WebServer>(static_cast<uint32_t>(port), &ServePage, host,
                                              /*waitsForSim=*/false);
    server->StartWebServerThread();
    ASSERT_TRUE(gauge.Accept());  // the server thread connects the pipe when it starts

    const auto exchange = [port](const std::string& request) {
        txtest::TcpClient client;
        if (!txtest::WaitUntil([&] { return client.Connect(port); }, 5s)) return std::string();
        client.Send(request);
        return client.ReadUntilClosed(10s);
    };
    const std::string main = exchange("GET /MCDU_main?x=1 HTTP/1.1\r\nHost: t\r\n\r\n");
    EXPECT_EQ(BodyOf(main), BuildMcduMainPage());
    EXPECT_NE(main.find("\nContent-Type: text/html; charset=ISO-8859-1\n"), std::string::npos);
    const std::string key = exchange("GET /MCDU_KB_07 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(key.rfind("HTTP/1.1 202 OK\n", 0), 0u);
    EXPECT_EQ(BodyOf(key), BuildMcduKeyCommandPage());
    EXPECT_EQ(gauge.Read(2), std::string("\x07\x00", 2));

    // While the simulator is away every path is answered as "/offline", pictures included.
    host.online = false;
    for (const char* path : {"/", "/busbanner.jpg", "/MCDU_KB_07"}) {
        const std::string offline = exchange(std::string("GET ") + path + " HTTP/1.1\r\n\r\n");
        EXPECT_EQ(BodyOf(offline), BuildOfflinePage()) << path;
        EXPECT_NE(offline.find("\nContent-Type: text/html"), std::string::npos) << path;
    }

    server->StopWebServerThread(true);
    server.reset();
    // Nothing reached the gauge while offline.
    EXPECT_EQ(gauge.Read(1), "");
    logging::LogFile.Close();
}

}  // namespace
