// The main window as created: class, frame, placement, the five controls with
// their styles and rectangles, the fonts and the header. Runs once per system
// DPI: ORVA_TEST_DPI names the DPI the Wine prefix was set up with (96 when
// unset), so that a prefix left at the wrong DPI fails instead of testing the
// same layout twice.

#include "app/main_window.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>  // needs <windows.h> first
// clang-format on
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/window_contract.h"
#include "app/window_test_support.h"

namespace orva {

namespace {

using testing::control;
using testing::ensureMainWindow;
using testing::fontOf;
using testing::rectInClient;
using testing::windowText;

struct Box {
    int x, y, width, height;
};

struct Layout {
    UINT dpi;
    int clientWidth, clientHeight;
    int header;
    Box status, progress, detail, tryAgain, cancel;
    int bodyFontHeight, titleFontHeight;
    int iconSize;
};

// Each 96-DPI value times the scale, truncated on its own: at 120 DPI the
// detail label's 18 becomes 22 (22.5) and the buttons' 110 becomes 137, so a
// right edge computed from a scaled left edge would be one pixel off.
constexpr Layout kLayouts[] = {
    {96,
     480,
     232,
     76,
     {24, 92, 432, 52},
     {24, 148, 432, 16},
     {24, 168, 432, 18},
     {222, 192, 110, 28},
     {346, 192, 110, 28},
     -12,
     -24,
     48},
    {120,
     600,
     290,
     95,
     {30, 115, 540, 65},
     {30, 185, 540, 20},
     {30, 210, 540, 22},
     {277, 240, 137, 35},
     {432, 240, 137, 35},
     -15,
     -30,
     60},
};

const Layout& expectedLayout() {
    const char* requested = std::getenv("ORVA_TEST_DPI");
    const UINT dpi = requested != nullptr ? static_cast<UINT>(std::atoi(requested)) : 96;
    for (const Layout& layout : kLayouts) {
        if (layout.dpi == dpi) {
            return layout;
        }
    }
    ADD_FAILURE() << "no layout for ORVA_TEST_DPI=" << requested;
    return kLayouts[0];
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

class MainWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ensureMainWindow(); }
    const Layout& layout = expectedLayout();
};

TEST_F(MainWindowTest, ScalesBySystemDpi) {
    ASSERT_EQ(GetDpiForSystem(), layout.dpi) << "the Wine prefix's LogPixels is not as expected";
    EXPECT_EQ(windowLook().dpiScale, static_cast<float>(layout.dpi) / 96.0f);
}

TEST_F(MainWindowTest, TopLevelWindow) {
    ASSERT_NE(g_mainWindow, nullptr);
    EXPECT_EQ(className(g_mainWindow), kWindowClassName);
    EXPECT_EQ(windowText(g_mainWindow), L"Orva Setup");
    EXPECT_TRUE(IsWindowVisible(g_mainWindow));

    // The system adds WS_CLIPSIBLINGS to every window with a caption.
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(g_mainWindow, GWL_STYLE));
    EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0xCA0000u) << std::hex << style;
    EXPECT_EQ(GetWindowLongPtrW(g_mainWindow, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);

    RECT client;
    GetClientRect(g_mainWindow, &client);
    EXPECT_EQ(client.right, layout.clientWidth);
    EXPECT_EQ(client.bottom, layout.clientHeight);

    // Centred on the primary screen, each half truncated toward zero.
    RECT frame;
    GetWindowRect(g_mainWindow, &frame);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);

    EXPECT_NE(GetClassLongPtrW(g_mainWindow, GCLP_HICON), 0) << "no class icon";
    EXPECT_EQ(GetClassLongPtrW(g_mainWindow, GCLP_HBRBACKGROUND), 0);
}

TEST_F(MainWindowTest, Controls) {
    struct Expected {
        HWND control;
        int id;
        const wchar_t* className;
        DWORD style;  // as created; hidden controls lack WS_VISIBLE
        Box box;
        const wchar_t* text;
        bool visible;
    };
    const Expected expected[] = {
        {control(kIdStatusLabel), kIdStatusLabel, L"Static", 0x50000000, layout.status, L"", true},
        {control(kIdProgressBar), kIdProgressBar, L"msctls_progress32", 0x40000000, layout.progress,
         L"", false},
        {control(kIdDetailLabel), kIdDetailLabel, L"Static", 0x50008000, layout.detail, L"", true},
        {control(kIdTryAgainButton), kIdTryAgainButton, L"Button", 0x40010001, layout.tryAgain,
         L"Try Again", false},
        {control(kIdCancelButton), kIdCancelButton, L"Button", 0x50010000, layout.cancel, L"Cancel",
         true},
    };
    for (const Expected& row : expected) {
        SCOPED_TRACE(row.id);
        ASSERT_NE(row.control, nullptr);
        EXPECT_EQ(GetParent(row.control), g_mainWindow);
        EXPECT_EQ(GetDlgCtrlID(row.control), row.id);
        EXPECT_EQ(CompareStringOrdinal(className(row.control).c_str(), -1, row.className, -1, TRUE),
                  CSTR_EQUAL)
            << className(row.control);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(row.control, GWL_STYLE)), row.style)
            << std::hex << GetWindowLongPtrW(row.control, GWL_STYLE);
        const RECT rect = rectInClient(row.control);
        EXPECT_EQ(rect.left, row.box.x);
        EXPECT_EQ(rect.top, row.box.y);
        EXPECT_EQ(rect.right - rect.left, row.box.width);
        EXPECT_EQ(rect.bottom - rect.top, row.box.height);
        EXPECT_EQ(windowText(row.control), row.text);
        EXPECT_EQ(IsWindowVisible(row.control) != FALSE, row.visible);
    }
    PBRANGE range = {};
    SendMessageW(control(kIdProgressBar), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 1000);
    EXPECT_EQ(SendMessageW(control(kIdProgressBar), PBM_GETPOS, 0, 0), 0);
}

// A control without text of its own, such as the progress bar, gets its
// accessible name from the label just before it in the z-order, which is the
// order of creation: the status label, so a screen reader says what is in
// progress. Wine's oleacc names a control by its own text only (it gives the
// bar no name); where a system does name it, the name must be the status.
TEST_F(MainWindowTest, ProgressBarIsNamedByTheStatusLabelBeforeIt) {
    EXPECT_EQ(GetWindow(control(kIdProgressBar), GW_HWNDPREV), control(kIdStatusLabel));
    EXPECT_EQ(className(control(kIdStatusLabel)), L"Static");
    EXPECT_TRUE(IsWindowVisible(control(kIdStatusLabel)));

    const std::wstring status = L"Downloading Orva 2.4.1 (120.0 MB)";
    SetWindowTextW(control(kIdStatusLabel), status.c_str());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* accessible = nullptr;
    ASSERT_EQ(
        AccessibleObjectFromWindow(control(kIdProgressBar), OBJID_CLIENT, __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&accessible)),
        S_OK);
    VARIANT self = {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT named = accessible->get_accName(self, &name);
    if (named == S_OK && name != nullptr) {
        std::printf("the progress bar's accessible name: %ls\n", name);
        EXPECT_EQ(std::wstring(name), status);
    } else {
        std::printf("this system gives the progress bar no accessible name (0x%08lX)\n",
                    static_cast<unsigned long>(named));
    }
    SysFreeString(name);
    accessible->Release();
    CoUninitialize();
    SetWindowTextW(control(kIdStatusLabel), L"");
}

TEST_F(MainWindowTest, Fonts) {
    for (HWND control : {control(kIdStatusLabel), control(kIdDetailLabel),
                         control(kIdTryAgainButton), control(kIdCancelButton)}) {
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
                  windowLook().bodyFont)
            << GetDlgCtrlID(control);
    }
    struct Expected {
        HFONT font;
        int height;
        LONG weight;
    };
    for (const Expected& row :
         {Expected{windowLook().bodyFont, layout.bodyFontHeight, FW_NORMAL},
          Expected{windowLook().titleFont, layout.titleFontHeight, FW_SEMIBOLD}}) {
        ASSERT_NE(row.font, nullptr);
        const LOGFONTW font = fontOf(row.font);
        EXPECT_EQ(font.lfHeight, row.height);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfWeight, row.weight);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
        EXPECT_EQ(font.lfPitchAndFamily, VARIABLE_PITCH | FF_DONTCARE);
        EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
    }
}

TEST_F(MainWindowTest, HeaderIconAtScaledSize) {
    ASSERT_NE(windowLook().headerIcon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(windowLook().headerIcon, &info));
    BITMAP colour = {};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, layout.iconSize);
    EXPECT_EQ(colour.bmHeight, layout.iconSize);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

// Reads back what WM_PAINT drew: the white band, the separator on the row
// just below it, the body colour, and the icon over the white.
TEST_F(MainWindowTest, PaintsHeaderAndBody) {
    RedrawWindow(g_mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = GetDC(g_mainWindow);
    const int right = layout.clientWidth - 1;
    const COLORREF white = RGB(255, 255, 255);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetPixel(dc, 0, 0), white);
    EXPECT_EQ(GetPixel(dc, right, layout.header - 1), white);
    EXPECT_EQ(GetPixel(dc, 0, layout.header), RGB(215, 220, 222));
    EXPECT_EQ(GetPixel(dc, right, layout.header), RGB(215, 220, 222));
    EXPECT_EQ(GetPixel(dc, 0, layout.header + 1), face);
    EXPECT_EQ(GetPixel(dc, right, layout.clientHeight - 1), face);
    // The middle of the icon (the mark's top face) is not the band's white;
    // just beside the icon it is.
    const int iconLeft = static_cast<int>(windowLook().dpiScale * 20.0f);
    const int iconTop = static_cast<int>(windowLook().dpiScale * 14.0f);
    EXPECT_NE(GetPixel(dc, iconLeft + layout.iconSize / 2, iconTop + layout.iconSize * 3 / 4),
              white);
    EXPECT_EQ(GetPixel(dc, iconLeft - 2, iconTop + layout.iconSize / 2), white);
    ReleaseDC(g_mainWindow, dc);
}

TEST_F(MainWindowTest, LabelsDrawTransparentlyOnTheBodyColour) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetBkMode(dc, OPAQUE);
    const LRESULT brush =
        SendMessageW(g_mainWindow, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control(kIdStatusLabel)));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    DeleteDC(dc);
}

}  // namespace
}  // namespace orva
