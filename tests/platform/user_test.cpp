// The USER subset on the headless backend: the dialog's geometry, the queue,
// keyboard handling, default messages, paints and window DCs; MulDiv and
// wsprintfA.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/user_internal.h"
#include "platform/user_resources.h"

namespace {

std::vector<UINT> seen;  // messages the dialog procedure received

INT_PTR RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    seen.push_back(message);
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK))
        DestroyWindow(window);
    if (message == WM_DESTROY)
        PostQuitMessage(7);
    // Paints are left to the default, which must validate.
    return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_DESTROY;
}

class User : public ::testing::Test {
protected:
    void SetUp() override { Start({}); }
    void TearDown() override { platform::ResetUserState(); }
    void Start(platform::HeadlessConfig config) {
        platform::ResetUserState();
        platform::UseHeadlessBackend(std::move(config));
        seen.clear();
    }
    HWND Create() { return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(110), nullptr, RecordingProc, 42); }
};

TEST_F(User, DialogAndControlGeometry) {
    HWND dialog = Create();
    ASSERT_NE(dialog, nullptr);
    RECT client, r;
    SetWindowPos(dialog, nullptr, 100, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(GetClientRect(dialog, &client) && GetWindowRect(GetDlgItem(dialog, 2990), &r));
    EXPECT_EQ((std::array{client.right, client.bottom, r.left, r.top, r.right, r.bottom}),
              (std::array<LONG, 6>{1803, 977, 102, 40, 1902, 1015}));
    // Every truncation of the template is refused, not read past its end.
    DWORD size = 0;
    const void* bytes = FindProgramResource(MAKEINTRESOURCEA(110), &size);
    for (DWORD n = 0; n < size; ++n)
        EXPECT_FALSE(platform::ParseDialogTemplate(bytes, n)) << n;
}

TEST_F(User, QueueSynthesisesPaintThenClosesWhenInputRunsOut) {
    platform::HeadlessConfig config;
    config.script = {platform::InputEvent::LeftClicked(5, 6)};
    Start(config);
    HWND dialog = Create();
    ShowWindow(dialog, SW_SHOWNORMAL);
    PostMessageA(dialog, WM_TIMER, 1, 0);
    std::vector<UINT> got;
    MSG msg;
    for (; GetMessageA(&msg, nullptr, 0, 0) > 0; DispatchMessageA(&msg))
        got.push_back(msg.message);
    // Posted first; the scripted click waits for the paint; then a close,
    // which by default becomes IDCANCEL.
    EXPECT_EQ(got, (std::vector<UINT>{WM_TIMER, WM_PAINT, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_CLOSE}));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(User, UpdateWindowPaintsOnlyWhatIsInvalidAndVisibleWindowDcsShareTheFramebuffer) {
    HWND dialog = Create();
    InvalidateRect(dialog, nullptr, FALSE);
    UpdateWindow(dialog);  // hidden: no paint
    EXPECT_EQ(seen, std::vector<UINT>{WM_INITDIALOG});
    ShowWindow(dialog, SW_SHOWNORMAL);
    seen.clear();
    UpdateWindow(dialog);
    UpdateWindow(dialog);  // valid now
    const RECT outside{5000, 5000, 6000, 6000};
    InvalidateRect(dialog, &outside, FALSE);
    UpdateWindow(dialog);
    EXPECT_EQ(seen, std::vector<UINT>{WM_PAINT});
    // A hidden control's DC reads its part of the framebuffer.
    HWND control = GetDlgItem(dialog, 2990);
    ShowWindow(control, SW_HIDE);
    HDC windowDC = GetDC(dialog);
    const LOGBRUSH red{BS_SOLID, RGB(255, 0, 0), 0};
    HBRUSH brush = CreateBrushIndirect(&red);
    const RECT cell{2, 0, 3, 1};  // the control's top-left pixel
    FillRect(windowDC, &cell, brush);
    ReleaseDC(dialog, windowDC);
    HDC controlDC = GetDC(control);
    EXPECT_EQ(GetPixel(controlDC, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(controlDC, 1, 0), platform::DialogBackground);
    // A DC that outlives its window draws nothing and is still released.
    DestroyWindow(dialog);
    FillRect(controlDC, &cell, brush);
    EXPECT_EQ(ReleaseDC(control, controlDC), 1);
    DeleteObject(brush);
}

TEST_F(User, EscapeAndEnterBecomeCommands) {
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        Start({});
        HWND dialog = Create();
        MSG other{dialog, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
        EXPECT_FALSE(IsDialogMessageA(dialog, &other));
        // A key aimed at a control of the dialog counts for the dialog.
        MSG msg{GetDlgItem(dialog, 2990), WM_KEYDOWN, key, 0, 0, {0, 0}};
        EXPECT_TRUE(IsDialogMessageA(dialog, &msg));
        EXPECT_FALSE(IsWindow(dialog)) << key;
    }
}

TEST(MulDiv, RoundsHalfAwayFromZeroAndReportsOverflow) {
    const int cases[] = {3,       1,       2, 2,  -3,      1,       2,       -2,      3,       1, -2, -2, -3, -1,
                         -2,      -2,      5, 1,  3,       2,       4,       1,       3,       1, 5,  1,  0,  -1,
                         INT_MAX, INT_MAX, 1, -1, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MIN, 1, -1, -1};
    for (const int* k = cases; k < std::end(cases); k += 4)
        EXPECT_EQ(MulDiv(k[0], k[1], k[2]), k[3]) << k[0] << " * " << k[1] << " / " << k[2];
}

TEST(Wsprintf, FormatsTheSubsetWithinTheLimit) {
    char out[1100];
    EXPECT_EQ(wsprintfA(out, "%2d|%02d|%02d|%2d|%d|%-4d|", 5, 5, 123, -5, INT_MIN, 7), 30);
    EXPECT_STREQ(out, " 5|05|123|-5|-2147483648|7   |");
    wsprintfA(out, "%s=%s 100%%|%u|%x|%X|%c|%q", "a", static_cast<const char*>(nullptr), 4000000000u, 255u, 255u, 'z');
    EXPECT_STREQ(out, "a=(null) 100%|4000000000|ff|FF|z|%q");
    // At most 1024 characters with the terminating zero.
    const std::string longText(2000, 'x');
    EXPECT_EQ(wsprintfA(out, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(out), 1023u);
}

}  // namespace
