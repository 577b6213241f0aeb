// The skinned windows as the system sees them: what is on the screen when a click's handler
// runs, what a change of the enabled state repaints, the system's colours, the keyboard of
// the settings window, and a region the system cannot make.
#include <gtest/gtest.h>
#include <windows.h>

#include "config/uSettings.hpp"
#include "platform/HandlerBoundary.hpp"
#include "ui/win32/GdiText.hpp"
#include "ui/win32/Win32MainWindow.hpp"
#include "ui/win32/Win32SettingsWindow.hpp"
#include "widgets/ButtonComps.hpp"

using namespace tarvos;

namespace {
HRGN WINAPI RefuseRegion(const XFORM*, DWORD, const RGNDATA*) {
    return CallbackBoundary<HRGN>(nullptr, [] { return HRGN{}; });
}
}  // namespace

// A region the system cannot make leaves the window rectangular (no region), never empty.
TEST(Win32Region, ARegionTheSystemCannotMakeIsNone) {
    EXPECT_EQ(MakeRegion({{0, 0, 2, 2}}, RefuseRegion), nullptr);
    HRGN made = MakeRegion({{0, 0, 2, 2}});
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(PtInRegion(made, 1, 1));
    DeleteObject(made);
}

