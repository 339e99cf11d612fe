// The USER subset on the headless backend: dialogs from templates in memory,
// the dialog's own data slot, the queue, keyboard handling, default messages,
// paints and window DCs; MulDiv and wsprintfA.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/user_internal.h"
#include "shell/dialog_template.h"

namespace {

std::vector<UINT> seen;    // messages the dialog procedure received
LONG_PTR userAtInit = -1;  // DWLP_USER as WM_INITDIALOG found it

INT_PTR RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_INITDIALOG) {
        userAtInit = GetWindowLongPtrA(window, DWLP_USER);
        SetWindowLongPtrA(window, DWLP_USER, lParam);  // as the program keeps its state
    }
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
        userAtInit = -1;
    }
    static HWND Create(LPARAM init = 42) {
        return CreateDialogIndirectParamA(nullptr, shell::MainDialogTemplate(), nullptr, RecordingProc, init);
    }
};

// The program's template: 1202 x 601 dialog units with one control at (1, 0),
// 1200 x 600 units, id 2990; 102 bytes.
constexpr std::size_t kTemplateSize = 102;

TEST_F(User, DialogAndControlGeometryFromTheTemplate) {
    HWND dialog = Create();
    ASSERT_NE(dialog, nullptr);
    RECT client, r;
    SetWindowPos(dialog, nullptr, 100, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(GetClientRect(dialog, &client) && GetWindowRect(GetDlgItem(dialog, 2990), &r));
    // Units to pixels: x * 6 / 4 and y * 13 / 8, rounded.
    EXPECT_EQ((std::array{client.right, client.bottom, r.left, r.top, r.right, r.bottom}),
              (std::array<LONG, 6>{1803, 977, 102, 40, 1902, 1015}));
    char title[32];
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, "Draven Holt");
    EXPECT_EQ(platform::DialogItemRect(shell::MainDialogTemplate(), 2990).value_or(RECT{}).right, 1802);
    EXPECT_FALSE(platform::DialogItemRect(shell::MainDialogTemplate(), 2991));
}

TEST_F(User, TruncatedOrForeignTemplatesAreRefused) {
    const void* bytes = shell::MainDialogTemplate();
    EXPECT_TRUE(platform::ParseDialogTemplate(bytes, kTemplateSize));
    // Every truncation is refused, not read past its end.
    for (std::size_t n = 0; n < kTemplateSize; ++n)
        EXPECT_FALSE(platform::ParseDialogTemplate(bytes, n)) << "cut to " << n << " bytes";
    // The extended form (version 1, signature 0xFFFF) is not read as a plain one.
    alignas(4) std::array<BYTE, kTemplateSize> extended{};
    std::memcpy(extended.data(), bytes, kTemplateSize);
    extended[0] = 1, extended[1] = 0, extended[2] = 0xFF, extended[3] = 0xFF;
    EXPECT_FALSE(platform::ParseDialogTemplate(extended.data(), extended.size()));
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(extended.data()), nullptr,
                                         RecordingProc, 0),
              nullptr);
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, nullptr, nullptr, RecordingProc, 0), nullptr);
    EXPECT_TRUE(seen.empty()) << "a refused template still reached the procedure";
}

// DWLP_USER is where a dialog keeps its owner's state: empty at WM_INITDIALOG,
// one per dialog, refused for windows that are not dialogs or are gone.
TEST_F(User, EachDialogKeepsItsOwnUserValue) {
    int first = 0, second = 0;
    HWND a = Create(reinterpret_cast<LPARAM>(&first));
    EXPECT_EQ(userAtInit, 0);
    HWND b = Create(reinterpret_cast<LPARAM>(&second));
    EXPECT_EQ(userAtInit, 0);
    EXPECT_EQ(GetWindowLongPtrA(a, DWLP_USER), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(GetWindowLongPtrA(b, DWLP_USER), reinterpret_cast<LONG_PTR>(&second));
    // Setting gives the previous value back.
    EXPECT_EQ(SetWindowLongPtrA(a, DWLP_USER, 7), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(GetWindowLongPtrA(a, DWLP_USER), 7);
    EXPECT_EQ(GetWindowLongPtrA(b, DWLP_USER), reinterpret_cast<LONG_PTR>(&second));
    // Other slots, controls (they have no dialog procedure) and destroyed windows hold nothing.
    HWND control = GetDlgItem(a, 2990);
    EXPECT_EQ(SetWindowLongPtrA(a, DWLP_MSGRESULT, 9), 0);
    EXPECT_EQ(SetWindowLongPtrA(control, DWLP_USER, 9), 0);
    EXPECT_EQ(GetWindowLongPtrA(control, DWLP_USER), 0);
    EXPECT_EQ(GetWindowLongPtrA(a, DWLP_USER), 7);
    DestroyWindow(a);
    EXPECT_EQ(GetWindowLongPtrA(a, DWLP_USER), 0);
    EXPECT_EQ(SetWindowLongPtrA(a, DWLP_USER, 8), 0);
    EXPECT_EQ(GetWindowLongPtrA(nullptr, DWLP_USER), 0);
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

// A paint that erases shows the background wherever anything was drawn
// before it: each way of drawing into the window, and a resize that carries
// the drawing into a larger framebuffer.
TEST_F(User, AnErasingPaintShowsTheBackgroundWhateverDrewBefore) {
    const COLORREF red = RGB(255, 0, 0);
    const LOGBRUSH solid{BS_SOLID, red, 0};
    HBRUSH brush = CreateBrushIndirect(&solid);
    HPEN pen = CreatePen(PS_SOLID, 1, red);
    LOGFONTA log{};
    log.lfHeight = -40;
    std::strcpy(log.lfFaceName, "DejaVu Sans Mono");
    HFONT font = CreateFontIndirectA(&log);
    const RECT box{10, 10, 30, 30};
    // Draws with `object` selected, then selects back what was.
    const auto with = [](HDC dc, HGDIOBJ object, auto draw) {
        HGDIOBJ old = SelectObject(dc, object);
        draw();
        SelectObject(dc, old);
    };
    const std::vector<std::pair<const char*, std::function<void(HWND, HDC)>>> ways = {
        {"FillRect", [&](HWND, HDC dc) { FillRect(dc, &box, brush); }},
        {"LineTo", [&](HWND, HDC dc) { with(dc, pen, [&] { MoveToEx(dc, 10, 10, nullptr), LineTo(dc, 29, 23); }); }},
        {"SetPixel", [&](HWND, HDC dc) { SetPixel(dc, 12, 12, red); }},
        {"ExtTextOutA's opaque box",
         [&](HWND, HDC dc) { SetBkColor(dc, red), ExtTextOutA(dc, 10, 10, ETO_OPAQUE, &box, "", 0, nullptr); }},
        {"ExtTextOutA",
         [&](HWND, HDC dc) {
             SetBkMode(dc, TRANSPARENT);
             with(dc, font, [&] { ExtTextOutA(dc, 5, 5, 0, nullptr, "WW", 2, nullptr); });
         }},
        {"Ellipse", [&](HWND, HDC dc) { with(dc, brush, [&] { Ellipse(dc, 10, 10, 30, 30); }); }},
        {"BitBlt",
         [&](HWND, HDC dc) {
             HDC memory = CreateCompatibleDC(dc);
             HBITMAP black = CreateCompatibleBitmap(dc, 20, 20);
             with(memory, black, [&] { BitBlt(dc, 10, 10, 20, 20, memory, 0, 0, SRCCOPY); });
             DeleteObject(black);
             DeleteDC(memory);
         }},
    };
    const auto drawThenPaint = [](const std::function<void(HWND, HDC)>& draw, bool erase) {
        HWND dialog = Create();
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
        HDC dc = GetDC(dialog);
        draw(dialog, dc);
        ReleaseDC(dialog, dc);
        InvalidateRect(dialog, nullptr, erase ? TRUE : FALSE);
        UpdateWindow(dialog);
        dc = GetDC(dialog);
        int drawn = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x)
                drawn += GetPixel(dc, x, y) != platform::DialogBackground;
        ReleaseDC(dialog, dc);
        DestroyWindow(dialog);
        return drawn;
    };
    for (const auto& [name, draw] : ways) {
        SCOPED_TRACE(name);
        EXPECT_GT(drawThenPaint(draw, false), 0);
        EXPECT_EQ(drawThenPaint(draw, true), 0);
    }
    // A resize erases the whole window at its next paint, drawn pixels
    // carried into the larger framebuffer too.
    EXPECT_EQ(drawThenPaint(
                  [&](HWND dialog, HDC dc) {
                      FillRect(dc, &box, brush);
                      RECT window{};
                      GetWindowRect(dialog, &window);
                      SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + 50,
                                   window.bottom - window.top + 50, SWP_NOZORDER | SWP_NOMOVE);
                  },
                  false),
              0);
    DeleteObject(font);
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST_F(User, EscapeAndEnterBecomeCommands) {
    for (const auto& [what, key] : {std::pair<const char*, WPARAM>{"Enter", VK_RETURN}, {"Escape", VK_ESCAPE}}) {
        SCOPED_TRACE(what);
        Start({});
        HWND dialog = Create();
        MSG other{dialog, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
        EXPECT_FALSE(IsDialogMessageA(dialog, &other));
        MSG up{dialog, WM_KEYUP, key, 0, 0, {0, 0}};
        EXPECT_FALSE(IsDialogMessageA(dialog, &up));
        seen.clear();
        // A key aimed at a control of the dialog counts for the dialog.
        MSG msg{GetDlgItem(dialog, 2990), WM_KEYDOWN, key, 0, 0, {0, 0}};
        EXPECT_TRUE(IsDialogMessageA(dialog, &msg));
        EXPECT_EQ(seen, (std::vector<UINT>{WM_COMMAND, WM_DESTROY}));  // the procedure closes on either
        EXPECT_FALSE(IsWindow(dialog));
    }
}

TEST(MulDiv, RoundsHalfAwayFromZeroAndReportsOverflow) {
    struct Case {
        int number, numerator, denominator, expected;
    };
    // clang-format off
    const Case cases[] = {
        {3, 1, 2, 2}, {-3, 1, 2, -2}, {3, 1, -2, -2}, {-3, -1, -2, -2},  // halves away from zero
        {5, 1, 3, 2}, {4, 1, 3, 1}, {5, 1, 0, -1},                         // thirds; no denominator
        {INT_MAX, INT_MAX, 1, -1},                                         // too large for an int
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},                              // large in between only
        {INT_MIN, 1, -1, -1}};                                             // -INT_MIN overflows
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
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
