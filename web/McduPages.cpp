#include "web/McduPages.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "web/McduKeyTable.h"

namespace web {

namespace {

void AppendLines(std::string& page, std::initializer_list<std::string> lines) {
    for (const std::string& line : lines) {
        page += line;
        page += '\n';
    }
}

std::string PixelText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld",
                  static_cast<long long>(static_cast<double>(value) + 0.5));
    return text;
}

}  // namespace

std::string BuildMcduFramesetPage() {
    std::string page;
    AppendLines(
        page, {
                  "<html>",
                  "<head>",
                  "\t<title>Quennick Tarvel MCDU</title>",
                  "\t<meta http-equiv=\"Content-type\" content=\"text/html; charset=ISO-8859-1\">",
                  "  <meta name=\"apple-mobile-web-app-capable\" content=\"yes\" />",
                  "  <meta name=\"viewport\" id=\"viewport\" content=\"width=980\" />",
                  "</head>",
                  "",
                  "<script type=\"text/javascript\">",
                  "  if (window.navigator.standalone) "
                  "document.getElementById('viewport').setAttribute('content', 'width=705');",
                  "  function btn(s){",
                  "    top.frames['frame_cmd'].location=s;",
                  "  }",
                  "</script>",
                  "",
                  "<frameset rows=\"0,*\" border=\"0\">",
                  "  <FRAME NAME=\"frame_cmd\" SRC=\"\" SCROLLING=NO FRAMEBORDER=0 marginwidth=0 "
                  "marginheight=0 noresize>",
                  "  <FRAME NAME=\"frame_main\" SRC=\"MCDU_main\" SCROLLING=NO FRAMEBORDER=0 "
                  "marginwidth=0 marginheight=0 noresize>",
                  "</frameset>",
                  "",
                  "</html>",
              });
    return page;
}

void AppendMapArea(std::string& page, float x1, float y1, float x2, float y2,
                   const std::string& path, const std::string& label) {
    page += "        <AREA shape=\"rect\" coords=\"";
    page += PixelText(x1) + "," + PixelText(y1) + "," + PixelText(x2) + "," + PixelText(y2);
    page += "\" onclick=\"parent.btn('";
    page += path;
    page += "')\"> <!-- ";
    page += label;
    page += "-->\n";
}

std::string BuildMcduMainPage() {
    const std::string w = kMcduDisplayWidth;
    const std::string h = kMcduDisplayHeight;
    std::string page;
    page.reserve(9216);
    AppendLines(
        page,
        {
            "<html>",
            "<head>",
            "  <title>Quennick Tarvel MCDU</title>",
            "  <meta http-equiv=\"Content-type\" content=\"text/html; charset=ISO-8859-1\">",
            "  <script type=\"text/javascript\">",
            "  var i=new Image();",
            "  setInterval(updateDisplay, 1000);",
            "  function updateDisplay() {",
            "    i.onerror=function() { setTimeout(updateDisplay,050); };",
            "    i.onload=function() { paintDisplay(i); };",
            "    i.src=\"MCDU_Dspl.png?\"+(new Date()).getTime();",
            "  }",
            "  function paintDisplay(imgObj) {",
            "    var canvasObj = document.getElementById('mcducanvas').getContext('2d');",
            "    canvasObj.drawImage(imgObj,19,16,273,250,0,0," + w + "," + h + ");",
            "    var imd = canvasObj.getImageData(0, 0, " + w + "," + h + ");",
            "    var numPixels = " + w + " * " + h + " * 4;",
            "    for (var k = 0; k < numPixels; k += 4) if (imd.data[k]==0 && imd.data[k+1]==0 "
            "&& imd.data[k+2] == 0) imd.data[k+3] = 0;",
            "    canvasObj.putImageData(imd, 0, 0);",
            "  }",
            "  updateDisplay();",
            "  </script>",
            "  <style type=\"text/css\">",
            "    body { background-color:black; margin:0px; }",
            "    #parent { position: relative; width:576px; margin-left:auto; margin-right:auto; }",
            "    #mcdu_background { position:absolute; }",
            "    #mcdu_display { position:absolute; left:103px; top: 72px; width: " + w +
                "px; height: " + h + "px; }",
            "  </style>",
            "</head>",
            "<body onload=\"updateDisplay()\">",
            "  <div id=\"parent\">",
            "    <div id=\"mcdu_background\">",
            "      <img src=\"mcdu_bg.jpg\" usemap=\"#kb_map\" />",
            "      <map name=\"kb_map\">",
        });
    for (const McduKey& key : McduKeyTable) {
        AppendMapArea(page, key.x1, key.y1, key.x2, key.y2, key.path, key.label);
    }
    AppendLines(
        page, {
                  "      </map>",
                  "    </div>",
                  "    <div id=\"mcdu_display\">",
                  "      <canvas id=\"mcducanvas\" width=\"" + w + "\" height=\"" + h + "\" />",
                  "    </div>",
                  "  </div>",
                  "</body>",
                  "<script type=\"text/javascript\">",
                  "  var v,c;",
                  "  var l=document.getElementById('parent');",
                  "  l.addEventListener('touchstart',function(e){v=e.touches.length!=1?false:true;"
                  "c=document.elementFromPoint(e.touches[0].pageX,e.touches[0].pageY);});",
                  "  l.addEventListener('touchend',function(e){e.preventDefault();"
                  "if(v){c.click();v=false;}});",
                  "</script>",
                  "</html>",
              });
    return page;
}

std::string BuildMcduKeyCommandPage() {
    std::string page;
    AppendLines(page, {
                          "<html><head><title></title></head>",
                          "<script type=\"text/javascript\">",
                          "var c=0;",
                          "var i=new Image();",
                          "var a=setInterval(u,250);",
                          "function u(){",
                          "  i.onerror=function() { setTimeout(u,050); };",
                          "  i.onload=function() { parent.frame_main.paintDisplay(i); };",
                          "  i.src=\"MCDU_Dspl.png?\"+(new Date()).getTime();",
                          "  if(++c>3)clearInterval(a);",
                          "}",
                          "u();",
                          "</script>",
                      });
    page += "</html>";
    return page;
}

int McduKeyCodeFromPath(const std::string& path) {
    const std::string lastTwo = path.size() >= 2 ? path.substr(path.size() - 2) : path;
    // Two characters cannot overflow an int, so atoi's reading is well defined here.
    return std::atoi(lastTwo.c_str());
}

}  // namespace web
