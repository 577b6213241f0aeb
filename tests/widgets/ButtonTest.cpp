#include <gtest/gtest.h>

#include "widgets/ButtonComps.hpp"
#include "widgets/PixelRows.hpp"

using namespace tarvos;
using namespace tarvos::testing;

namespace {

constexpr TColor kNormal = RgbColor(10, 0, 0), kOver = RgbColor(20, 0, 0), kDown = RgbColor(30, 0, 0),
                 kUp = RgbColor(40, 0, 0), kOff = RgbColor(50, 0, 0);
const std::map<TColor, char> kLetters{{kNormal, 'N'}, {kOver, 'O'}, {kDown, 'D'},
                                      {kUp, 'U'},     {kOff, 'X'},  {clBtnFace, '.'}};

struct Events {
    std::vector<std::string> seen;
    void Attach(TImageButton& b) {
        b.BtnClick = [this] { seen.push_back("click"); };
        b.OnMDown = [this](TMouseButton, int, int) { seen.push_back("down"); };
        b.OnMUp = [this](TMouseButton, int, int) { seen.push_back("up"); };
    }
};

// Each state's picture has its own size, so the size shows which picture the button took.
TImageButton Skinned(bool withUp = true) {
    TImageButton b("Button_Test");
    b.SetBitmap(MakeBitmap(4, 3, kNormal));
    b.SetBitmapOver(MakeBitmap(5, 2, kOver));
    b.SetBitmapDown(MakeBitmap(6, 1, kDown));
    if (withUp) b.SetBitmapUp(MakeBitmap(2, 2, kUp));
    b.SetBitmapDisabled(MakeBitmap(1, 3, kOff));
    return b;
}

std::vector<std::string> Shown(TImageButton& b) {
    auto rows = Rows(b.Paint(), kLetters);
    EXPECT_EQ(static_cast<int>(rows.size()), b.Height);
    return rows;
}

}  // namespace

TEST(ImageButton, ShowsThePictureOfEachStateAtThatPicturesSize) {
    TImageButton b = Skinned();
    Events e;
    e.Attach(b);
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"NNNN", "NNNN", "NNNN"}));
    b.MouseEnter();
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"OOOOO", "OOOOO"}));
    b.MouseDown(TMouseButton::Left, 1, 1);
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"DDDDDD"}));
    b.MouseUp(TMouseButton::Left, 1, 0);
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"UU", "UU"})) << "released over it: the released picture";
    EXPECT_EQ(e.seen, (std::vector<std::string>{"down", "up", "click"}));
    b.MouseLeave();
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"NNNN", "NNNN", "NNNN"}));

    // Released outside: the normal picture and no click.
    e.seen.clear();
    b.MouseDown(TMouseButton::Left, 0, 0);
    b.MouseUp(TMouseButton::Left, 6, 0);
    EXPECT_EQ(b.Width, 4);
    EXPECT_EQ(b.Height, 3);
    EXPECT_EQ(e.seen, (std::vector<std::string>{"down", "up"}));

    // Without a released picture, releasing over it shows the hover picture.
    TImageButton noUp = Skinned(false);
    noUp.MouseDown(TMouseButton::Left, 0, 0);
    noUp.MouseUp(TMouseButton::Left, 0, 0);
    EXPECT_EQ(Shown(noUp), (std::vector<std::string>{"OOOOO", "OOOOO"}));
}

TEST(ImageButton, DisabledShowsItsDisabledPictureAndIgnoresTheMouse) {
    TImageButton b = Skinned();
    Events e;
    e.Attach(b);
    b.MouseEnter();
    b.Enabled = false;
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"X", "X", "X"}));
    b.MouseLeave();
    b.MouseDown(TMouseButton::Left, 0, 0);
    b.MouseUp(TMouseButton::Left, 0, 0);
    b.Click();
    EXPECT_TRUE(e.seen.empty());

    // Enabled again, it shows its picture at that picture's size.
    b.Enabled = true;
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"OOOOO", "OOOOO"}));

    // Without a disabled picture it keeps showing what it showed.
    TImageButton plain = Skinned();
    plain.BmpDAble = {};
    plain.MouseEnter();
    plain.Enabled = false;
    EXPECT_EQ(Shown(plain), (std::vector<std::string>{"OOOOO", "OOOOO"}));
}

TEST(ImageButton, RightButtonChangesNothingAndFiresNothing) {
    TImageButton b = Skinned();
    Events e;
    e.Attach(b);
    b.MouseDown(TMouseButton::Right, 1, 1);
    b.MouseUp(TMouseButton::Right, 1, 1);
    EXPECT_TRUE(e.seen.empty());
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"NNNN", "NNNN", "NNNN"}));
}

// A click's handler may keep the window busy for long (a modal window, a full check): the
// released picture is on the screen before it runs.
TEST(ImageButton, AClickShowsTheReleasedPictureBeforeItsHandlerRuns) {
    TImageButton b = Skinned();
    std::vector<std::string> order;
    b.RepaintNow = [&] { order.push_back("shown " + Shown(b).front()); };
    b.BtnClick = [&] { order.push_back("click"); };
    b.MouseDown(TMouseButton::Left, 0, 0);
    b.MouseUp(TMouseButton::Left, 0, 0);
    EXPECT_EQ(order, (std::vector<std::string>{"shown UU", "click"}));
}

TEST(ImageButton, WithoutPicturesShowsOnlyItsFace) {
    TImageButton b;
    EXPECT_EQ(b.Width, 50);
    EXPECT_EQ(b.Height, 50);
    b.Width = 3, b.Height = 2;
    b.RePaint();  // no normal picture: nothing changes
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"...", "..."}));
    b.MouseEnter();
    b.MouseDown(TMouseButton::Left, 0, 0);
    b.MouseUp(TMouseButton::Left, 0, 0);
    EXPECT_EQ(Shown(b), (std::vector<std::string>{"...", "..."}));
}
