#pragma once
// The MCDU the gauge stand-in plays: a few pages of an Airbus-style flight management unit, the
// scratchpad and what each key does to them. It knows nothing of sockets or pictures: a key code
// goes in, the screen comes out.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "tools/gauge-standin/McduScreen.h"

class McduDisplay {
  public:
    enum class Page {
        McduMenu,
        Init,
        Data,
        FlightPlan,
        DirTo,
        Prog,
        Perf,
        RadNav,
        FuelPred,
        SecIndex
    };

    McduDisplay();

    // Applies one key code of the remote MCDU (0..68). True when the screen changed; codes that
    // are no key change nothing.
    bool PressKey(int code);

    const McduScreen& Screen() const { return m_screen; }
    Page CurrentPage() const { return m_page; }
    // One line as UTF-8 text, trailing blanks dropped.
    std::string RowText(int row) const;

    // The key's name as printed on the unit ("RSK 2", "F-PLN", "A", "CLR"); null for no key.
    static const char* KeyName(int code);

  private:
    enum Field {
        kCoRoute,
        kFromTo,
        kAltn,
        kFlightNumber,
        kCostIndex,
        kCruiseLevel,
        kTropo,
        kDirTo,
        kV1,
        kVr,
        kV2,
        kTransAlt,
        kFlexTemp,
        kVor1,
        kVor2,
        kIls,
        kAdf1,
        kAdf2,
        kFieldCount
    };
    struct Waypoint {
        std::u32string ident;
        int track = 0;     // degrees, of the leg that ends here
        int legMiles = 0;  // length of that leg
        int minutes = 0;   // elapsed at this point
        int speed = 0;     // 0: none shown
        int level = 0;     // flight level, or feet below the transition altitude
        bool constraint = false;
        double fuel = 0.0;  // tonnes on board
    };

    // Keys.
    void TypeCharacter(char32_t ch);
    void PressClear();
    void PressLineKey(int key);  // 0..5 left, 6..11 right
    void Slew(int step);         // up/down arrows
    void TurnPage(int step);     // left/right arrows
    void ShowPage(Page page);

    // Entries.
    bool EnterField(Field field, const std::u32string& text);
    void SelectFmgc();
    void BuildRoute();
    void ShowMessage(std::u32string_view message);

    // Drawing.
    void Compose();
    void ComposeMenu();
    void ComposeInit();
    void ComposeData();
    void ComposeFlightPlan();
    void ComposeDirTo();
    void ComposeProg();
    void ComposePerf();
    void ComposeRadNav();
    void ComposeFuelPred();
    void ComposeSecIndex();
    void ComposeScratchpad();
    int FlightPlanLines() const;
    // The text of a field, or `empty` drawn in `emptyColour` while it holds nothing.
    void PutField(int row, int column, Field field, std::u32string_view empty,
                  McduColour emptyColour, bool right);

    McduScreen m_screen{};
    Page m_page = Page::McduMenu;
    Page m_lastFmgcPage = Page::Init;
    bool m_fmgcSelected = false;
    int m_dataPage = 0;        // DATA INDEX 1/2
    int m_flightPlanPage = 0;  // F-PLN A (times) / B (fuel and wind)
    int m_flightPlanTop = 0;   // first flight-plan line shown
    bool m_irsAligned = false;

    std::u32string m_scratchpad;
    std::u32string m_message;   // shown over the scratchpad until the next key
    bool m_clearArmed = false;  // "CLR" in the scratchpad: the next line key clears its field

    std::array<std::u32string, kFieldCount> m_fields;
    std::vector<Waypoint> m_route;  // origin first, destination last; empty without FROM/TO
};
