// The dialog manager and message queue of the USER subset, on the headless
// backend: template geometry, creation order, the queue's order, keyboard
// handling, paints, window DCs and placement.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/user_internal.h"
#include "platform/user_resources.h"

namespace {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
// What the recording procedure answers for WM_PAINT and WM_CLOSE.
bool handlePaint = true;

INT_PTR RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({window, message, wParam, lParam});
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_PAINT:
            if (!handlePaint)
                return FALSE;
            {
                PAINTSTRUCT paint;
                BeginPaint(window, &paint);
                EndPaint(window, &paint);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL)
                DestroyWindow(window);
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(7);
            return TRUE;
        default:
            return FALSE;
    }
}

std::vector<UINT> Messages() {
    std::vector<UINT> m;
    for (const Seen& s : seen)
        m.push_back(s.message);
    return m;
}

class UserTest : public ::testing::Test {
protected:
    void SetUp() override { Start({}); }
    void TearDown() override { platform::ResetUserState(); }
    void Start(platform::HeadlessConfig config) {
        platform::ResetUserState();
        platform::UseHeadlessBackend(std::move(config));
        seen.clear();
        handlePaint = true;
    }
    HWND Create() { return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(110), nullptr, RecordingProc, 42); }
};

TEST_F(UserTest, TemplateLaysOutInPixelsWithBaseUnitsSixByThirteen) {
    DWORD size = 0;
    const void* bytes = FindProgramResource(MAKEINTRESOURCEA(110), &size);
    ASSERT_NE(bytes, nullptr);
    auto layout = platform::ParseDialogTemplate(bytes, size);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->style, 0x80CC0040u);
    EXPECT_EQ(layout->title, "Draven Holt");
    EXPECT_EQ(layout->pointSize, 8);
    EXPECT_EQ(layout->fontName, "MS Sans Serif");
    EXPECT_EQ(layout->rect.right - layout->rect.left, 1803);
    EXPECT_EQ(layout->rect.bottom - layout->rect.top, 977);
    ASSERT_EQ(layout->items.size(), 1u);
    const auto& item = layout->items[0];
    EXPECT_EQ(item.id, 2990);
    EXPECT_EQ(item.classAtom, 0x0082);
    EXPECT_EQ(item.style, 0x50020000u);
    EXPECT_EQ(item.text, "");
    EXPECT_EQ(item.rect.left, 2);
    EXPECT_EQ(item.rect.top, 0);
    EXPECT_EQ(item.rect.right - item.rect.left, 1800);
    EXPECT_EQ(item.rect.bottom - item.rect.top, 975);

    // Every truncation of the template is refused, not read past its end.
    for (DWORD n = 0; n < size; ++n)
        EXPECT_FALSE(platform::ParseDialogTemplate(bytes, n)) << n;
    EXPECT_EQ(FindProgramResource(MAKEINTRESOURCEA(111), &size), nullptr);
}

TEST_F(UserTest, DialogGeometryAndChildOffsets) {
    HWND dialog = Create();
    ASSERT_NE(dialog, nullptr);
    RECT client;
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(client.right, 1803);
    EXPECT_EQ(client.bottom, 977);
    HWND control = GetDlgItem(dialog, 2990);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 2991), nullptr);
    SetWindowPos(dialog, nullptr, 100, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT r;
    GetWindowRect(control, &r);
    EXPECT_EQ(r.left, 102);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right, 1902);
    EXPECT_EQ(r.bottom, 1015);
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    MapWindowPoints(nullptr, dialog, corners, 2);
    EXPECT_EQ(corners[0].x, 2);
    EXPECT_EQ(corners[0].y, 0);
    EXPECT_EQ(corners[1].x, 1802);
    EXPECT_EQ(corners[1].y, 975);
    // A minimised dialog asks its control for a negative size: it gets none.
    EXPECT_TRUE(SetWindowPos(control, nullptr, 0, 0, -2, -7, SWP_NOZORDER | SWP_NOMOVE));
    GetClientRect(control, &r);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
}

TEST_F(UserTest, FirstSizeComesWithTheFirstShowAfterInitDialog) {
    HWND dialog = Create();
    ASSERT_EQ(Messages(), std::vector<UINT>{WM_INITDIALOG});
    EXPECT_EQ(seen[0].lParam, 42);
    EXPECT_FALSE(IsWindowVisible(dialog));
    ShowWindow(dialog, SW_SHOWNORMAL);
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_INITDIALOG, WM_SIZE}));
    EXPECT_EQ(seen[1].lParam, MAKELPARAM(1803, 977));
    ShowWindow(dialog, SW_SHOWNORMAL);  // already shown, same size: nothing
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(UserTest, ForcedClientSizeReplacesTheTemplateSize) {
    platform::HeadlessConfig config;
    config.initialClientSize = SIZE{642, 480};
    Start(config);
    HWND dialog = Create();
    ShowWindow(dialog, SW_SHOWNORMAL);
    EXPECT_EQ(seen.back().message, WM_SIZE);
    EXPECT_EQ(seen.back().lParam, MAKELPARAM(642, 480));
}

TEST_F(UserTest, QueueOrderPostedThenInputThenPaintThenQuit) {
    platform::HeadlessConfig config;
    config.script = {platform::InputEvent::LeftClicked(5, 6)};
    Start(config);
    HWND dialog = Create();
    ShowWindow(dialog, SW_SHOWNORMAL);  // invalid now
    PostMessageA(dialog, WM_TIMER, 1, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_TIMER);
    // The scripted click waits for the paint, like a user looking at the screen.
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_PAINT);
    DispatchMessageA(&msg);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_LBUTTONDOWN);
    EXPECT_EQ(msg.lParam, MAKELPARAM(5, 6));
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_LBUTTONUP);
    // Out of input: the active window is asked to close, once.
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_CLOSE);
    DispatchMessageA(&msg);  // default handling: IDCANCEL, which destroys
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(UserTest, EscapeAndEnterBecomeCommands) {
    HWND dialog = Create();
    MSG key{dialog, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageA(dialog, &key));
    ASSERT_EQ(seen.back().message, WM_COMMAND);
    EXPECT_EQ(LOWORD(seen.back().wParam), IDOK);
    key.wParam = 'A';
    EXPECT_FALSE(IsDialogMessageA(dialog, &key));
    MSG click{dialog, WM_LBUTTONDOWN, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(IsDialogMessageA(dialog, &click));
    // A key aimed at a control of the dialog counts for the dialog.
    key = MSG{GetDlgItem(dialog, 2990), WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageA(dialog, &key));
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(UserTest, UnhandledCloseAndPaintGetTheDefaults) {
    HWND dialog = Create();
    ShowWindow(dialog, SW_SHOWNORMAL);
    handlePaint = false;
    seen.clear();
    UpdateWindow(dialog);  // the default paint validates, else the loop would spin
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_PAINT});
    UpdateWindow(dialog);
    EXPECT_EQ(seen.size(), 1u);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_PAINT, WM_CLOSE, WM_COMMAND, WM_DESTROY}));
}

TEST_F(UserTest, UpdateWindowPaintsOnlyWhatIsInvalidAndVisible) {
    HWND dialog = Create();
    RECT part{10, 10, 20, 20};
    InvalidateRect(dialog, &part, FALSE);
    UpdateWindow(dialog);  // hidden: no paint
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_INITDIALOG});
    ShowWindow(dialog, SW_SHOWNORMAL);
    seen.clear();
    const auto presents = platform::PresentCount();
    UpdateWindow(dialog);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_PAINT});
    EXPECT_EQ(platform::PresentCount(), presents + 1);
    UpdateWindow(dialog);
    EXPECT_EQ(seen.size(), 1u);
    RECT outside{5000, 5000, 6000, 6000};
    InvalidateRect(dialog, &outside, FALSE);
    UpdateWindow(dialog);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(UserTest, WindowDcsShareTheFramebufferAtTheControlsOffset) {
    HWND dialog = Create();
    HWND control = GetDlgItem(dialog, 2990);
    ShowWindow(control, SW_HIDE);
    HDC windowDC = GetDC(dialog);
    ASSERT_NE(windowDC, nullptr);
    LOGBRUSH red{BS_SOLID, RGB(255, 0, 0), 0};
    HBRUSH brush = CreateBrushIndirect(&red);
    RECT cell{2, 0, 3, 1};
    FillRect(windowDC, &cell, brush);
    ReleaseDC(dialog, windowDC);

    // The hidden control's DC reads what is on the screen at its place.
    HDC controlDC = GetDC(control);
    RECT client;
    GetClientRect(control, &client);
    EXPECT_EQ(client.right, 1800);
    HDC memory = CreateCompatibleDC(controlDC);
    HBITMAP bitmap = CreateCompatibleBitmap(controlDC, 4, 4);
    HGDIOBJ old = SelectObject(memory, bitmap);
    ASSERT_TRUE(BitBlt(memory, 0, 0, 4, 4, controlDC, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(memory, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(memory, 1, 0), platform::DialogBackground);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);

    // A DC that outlives its window draws nothing and is still released.
    DestroyWindow(dialog);
    FillRect(controlDC, &cell, brush);  // must not touch the freed framebuffer
    EXPECT_EQ(ReleaseDC(control, controlDC), 1);
    EXPECT_EQ(ReleaseDC(control, controlDC), 0);
    DeleteObject(brush);
}

TEST_F(UserTest, PlacementAppliesShowStateAndNormalRectangle) {
    HWND dialog = Create();
    ShowWindow(dialog, SW_SHOWNORMAL);
    seen.clear();
    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    ASSERT_TRUE(GetWindowPlacement(dialog, &p));
    EXPECT_EQ(p.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(p.rcNormalPosition.right, 1803);

    p.rcNormalPosition = RECT{50, 60, 50 + 1803, 60 + 977};  // moved, same size
    ASSERT_TRUE(SetWindowPlacement(dialog, &p));
    EXPECT_TRUE(seen.empty());
    p.rcNormalPosition = RECT{50, 60, 850, 660};
    ASSERT_TRUE(SetWindowPlacement(dialog, &p));
    ASSERT_EQ(Messages(), std::vector<UINT>{WM_SIZE});
    EXPECT_EQ(seen[0].lParam, MAKELPARAM(800, 600));

    p.showCmd = SW_SHOWMINIMIZED;
    SetWindowPlacement(dialog, &p);
    EXPECT_EQ(seen.back().wParam, SIZE_MINIMIZED);
    EXPECT_EQ(seen.back().lParam, 0);
    WINDOWPLACEMENT q{};
    GetWindowPlacement(dialog, &q);
    EXPECT_EQ(q.showCmd, static_cast<UINT>(SW_SHOWMINIMIZED));
    EXPECT_EQ(q.rcNormalPosition.right, 850);
    EXPECT_EQ(platform::WindowNeedingPaint(), nullptr);  // nothing to paint while minimised

    ShowWindow(dialog, SW_SHOWNORMAL);
    EXPECT_EQ(seen.back().lParam, MAKELPARAM(800, 600));
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);

    p.length = 40;
    EXPECT_FALSE(SetWindowPlacement(dialog, &p));
}

TEST_F(UserTest, ScriptedResizeAndMinimiseSendSizes) {
    platform::HeadlessConfig config;
    config.script = {platform::InputEvent::Resized(640, 480), platform::InputEvent::Minimized(),
                     platform::InputEvent::Restored(), platform::InputEvent::KeyPressed(VK_ESCAPE)};
    Start(config);
    HWND dialog = Create();
    ShowWindow(dialog, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &msg))
            DispatchMessageA(&msg);
    }
    EXPECT_EQ(msg.wParam, 7u);
    std::vector<LPARAM> sizes;
    for (const Seen& s : seen) {
        if (s.message == WM_SIZE)
            sizes.push_back(s.lParam);
    }
    EXPECT_EQ(sizes, (std::vector<LPARAM>{MAKELPARAM(1803, 977), MAKELPARAM(640, 480), 0, MAKELPARAM(640, 480)}));
}

TEST_F(UserTest, SystemWorkAreaIsTheVirtualScreens) {
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(work.right, 1920);
    EXPECT_EQ(work.bottom, 1080);
    EXPECT_FALSE(SystemParametersInfoA(SPI_GETWORKAREA + 1, 0, &work, 0));
}

TEST_F(UserTest, StaleHandlesAreRefused) {
    HWND dialog = Create();
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(DestroyWindow(dialog));
    EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0), 0);
    EXPECT_FALSE(PostMessageA(dialog, WM_TIMER, 0, 0));
    EXPECT_EQ(GetDC(dialog), nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 2990), nullptr);
}

TEST(MulDivTest, RoundsHalfAwayFromZeroAndReportsOverflow) {
    EXPECT_EQ(MulDiv(601, 13, 8), 977);
    EXPECT_EQ(MulDiv(1, 6, 4), 2);
    EXPECT_EQ(MulDiv(1202, 6, 4), 1803);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(3, 1, -2), -2);
    EXPECT_EQ(MulDiv(-3, -1, -2), -2);
    EXPECT_EQ(MulDiv(5, 1, 3), 2);
    EXPECT_EQ(MulDiv(4, 1, 3), 1);
    EXPECT_EQ(MulDiv(7, 0, 3), 0);
    EXPECT_EQ(MulDiv(5, 1, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, 1), -1);
    EXPECT_EQ(MulDiv(INT_MIN, INT_MIN, INT_MIN), -1);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(MulDiv(INT_MIN, 1, -1), -1);
}

TEST(WsprintfTest, FormatsTheSubset) {
    char out[1100];
    EXPECT_EQ(wsprintfA(out, "Tarvo Draven Holt wd %d ht %d", 1801, -2), 31);
    EXPECT_STREQ(out, "Tarvo Draven Holt wd 1801 ht -2");
    wsprintfA(out, "%2d|%02d|%02d|%2d|%d", 5, 5, 123, -5, INT_MIN);
    EXPECT_STREQ(out, " 5|05|123|-5|-2147483648");
    wsprintfA(out, "%s=%s 100%%", "a", static_cast<const char*>(nullptr));
    EXPECT_STREQ(out, "a=(null) 100%");
    wsprintfA(out, "%-4d|%u|%x|%X|%c|%q", 7, 4000000000u, 255u, 255u, 'z');
    EXPECT_STREQ(out, "7   |4000000000|ff|FF|z|%q");
    wsprintfA(out, "%hd", 70000);
    EXPECT_STREQ(out, "4464");
    // At most 1024 characters with the terminating zero.
    std::string longText(2000, 'x');
    EXPECT_EQ(wsprintfA(out, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(out), 1023u);
    EXPECT_EQ(wsprintfA(out, "tail%"), 5);
    EXPECT_STREQ(out, "tail%");
}

}  // namespace
