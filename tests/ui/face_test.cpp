// The main window's face, the same on both systems: what a press means, what the exit strip and
// the pointer show as the pointer moves, the hand pointer's one attempt, the lamp. The window
// system is a fake that writes down what the face asks of it; each system's own part (loading and
// drawing the pictures, the real pointer) has its tests beside it and in tests/ui/window.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/ui/HeardEvents.h"
#include "ui/WindowFace.h"

namespace {

// The window system and the main window, as the face sees them.
class FakeWindow : public ui::FaceSystem, public txtest::HeardEvents {
  public:
    std::set<std::string> failingPictures;
    bool handCanBeMade = true;
    ui::WindowFace face{*this, *this};

  private:
    bool ChangePicture(ui::FaceControl control, const char* name) override {
        const bool loads = failingPictures.count(name) == 0;
        Hear((control == ui::FaceControl::Lamp ? "lamp " : "exit ") + std::string(name) +
             (loads ? "" : " fails"));
        return loads;
    }
    bool MakeHandCursor() override { return Hear("make hand"), handCanBeMade; }
    void ShowPointer(ui::FacePointer pointer) override {
        Hear(pointer == ui::FacePointer::Hand ? "hand" : "arrow");
    }
};

class FaceTest : public ::testing::Test {
  protected:
    void SetUp() override { ui::g_bHandCursorMade = false; }
    // The pointer moves to `point`: what the face asked for, which ends with the hand exactly
    // when the face says it showed it.
    static std::string MoveTo(FakeWindow& window, ui::FacePoint point) {
        const bool hand = window.face.OnSetCursor(point);
        std::string told = window.Heard();
        EXPECT_EQ(hand, told.ends_with("hand")) << told;
        return told;
    }
};

// The pointer moves and the left button is pressed, place after place. The exit strip lights up
// when the pointer comes onto it and goes back only once the pointer is off both strips; a picture
// that fails to load is tried again at the next move. The hand shows over either strip. A press
// on the exit strip ends the window, on the address strip opens the address. The strips' left
// and top edges are inside them, their right and bottom edges outside.
TEST_F(FaceTest, ThePointerLightsTheExitStripShowsTheHandAndPressesEndOrOpen) {
    struct Step {
        ui::FacePoint point;
        const char* failing;  // the picture that does not load at this step, if any
        const char* moved;
        const char* pressed;
    };
    FakeWindow window;
    for (const Step& s : {
             Step{{20, 20}, "", "arrow", ""},
             Step{{250, 250}, "", "exit BITMAP_BTNEXIT_1; make hand; hand", "end 1"},
             Step{{251, 250}, "", "hand", "end 1"},
             Step{{200, 290}, "", "hand", "address"},
             Step{{150, 150}, "BITMAP_BTNEXIT_0", "exit BITMAP_BTNEXIT_0 fails; arrow", ""},
             Step{{151, 150}, "", "exit BITMAP_BTNEXIT_0; arrow", ""},
             Step{{240, 243}, "BITMAP_BTNEXIT_1", "exit BITMAP_BTNEXIT_1 fails; hand", "end 1"},
             Step{{319, 267}, "", "exit BITMAP_BTNEXIT_1; hand", "end 1"},
             Step{{320, 267}, "", "exit BITMAP_BTNEXIT_0; arrow", ""},
             Step{{250, 268}, "", "arrow", ""},
             Step{{166, 284}, "", "hand", "address"},
             Step{{317, 294}, "", "hand", "address"},
             Step{{318, 294}, "", "arrow", ""},
             Step{{200, 295}, "", "arrow", ""},
         }) {
        window.failingPictures = {s.failing};
        EXPECT_EQ(MoveTo(window, s.point), s.moved) << s.point.x << ", " << s.point.y;
        window.face.OnLButtonDown(s.point);
        EXPECT_EQ(window.Heard(), s.pressed) << s.point.x << ", " << s.point.y;
    }
}

// One attempt per process, even when it fails: the default pointer then stays, in every window.
TEST_F(FaceTest, TheHandPointerIsTriedOncePerProcessEvenWhenItFails) {
    FakeWindow first;
    first.handCanBeMade = false;
    EXPECT_EQ(MoveTo(first, {250, 250}), "exit BITMAP_BTNEXIT_1; make hand; arrow");
    EXPECT_EQ(MoveTo(first, {200, 290}), "arrow");
    FakeWindow second;
    EXPECT_EQ(MoveTo(second, {200, 290}), "arrow");
}

TEST_F(FaceTest, TheLampShowsTheLinksState) {
    FakeWindow window;
    window.face.SetOnlineLamp(true);
    window.face.SetOnlineLamp(false);
    EXPECT_EQ(window.Heard(), "lamp BITMAP_BTNONLINE_1; lamp BITMAP_BTNONLINE_0");
}

}  // namespace
