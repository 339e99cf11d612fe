// The remembered window placement: save and restore, the edge-by-edge cut
// to the work area, and stored values that count as absent.
#include "shell/placement.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/user_internal.h"
#include "shell/chart_window.h"
#include "shell/main_dialog.h"
#include "shell/paint.h"
#include "support/test_support.h"

// Found by argument-dependent lookup: RECT lives in the global namespace.
bool operator==(const RECT& a, const RECT& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

constexpr const char* KeyPath = "SOFTWARE\\Tarvo\\Dravenholt";
constexpr const char* ValueName = "Main_WndPl";

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ResetUserState();
        platform::UseHeadlessBackend({});  // work area 0,0 - 1920,1080, registry in memory
    }
    void TearDown() override {
        platform::ResetUserState();
        shell::DeleteBackBuffer();
    }
    HWND Create() {
        return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(shell::MainDialogResource), nullptr, shell::MainDialogProc,
                                  0);
    }
    void Store(const void* bytes, DWORD size, DWORD type = REG_BINARY) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, KeyPath, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, ValueName, 0, type, static_cast<const BYTE*>(bytes), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void StoreRect(RECT r, UINT showCmd = SW_SHOWNORMAL) {
        WINDOWPLACEMENT p{};
        p.length = sizeof p;
        p.showCmd = showCmd;
        p.rcNormalPosition = r;
        Store(&p, sizeof p);
    }
    WINDOWPLACEMENT Stored() {
        WINDOWPLACEMENT p{};
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, KeyPath, &key), ERROR_SUCCESS);
        DWORD size = sizeof p;
        EXPECT_EQ(RegQueryValueExA(key, ValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&p), &size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        return p;
    }
    static RECT WindowRect(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};  // no data: the chart stays empty
};

TEST_F(PlacementTest, DestroySavesAndTheNextStartReopensThere) {
    HWND dialog = Create();
    SetWindowPos(dialog, nullptr, 100, 50, 800, 600, SWP_NOZORDER);
    DestroyWindow(dialog);
    WINDOWPLACEMENT saved = Stored();
    EXPECT_EQ(saved.length, 44u);
    EXPECT_EQ(saved.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(saved.rcNormalPosition, (RECT{100, 50, 900, 650}));

    dialog = Create();
    EXPECT_EQ(WindowRect(dialog), (RECT{100, 50, 900, 650}));
    char title[64];
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, "Tarvo Draven Holt wd 798 ht 600");

    // Saving again overwrites the whole value.
    SetWindowPos(dialog, nullptr, 10, 20, 300, 200, SWP_NOZORDER);
    EXPECT_EQ(shell::SavePlacement(dialog, KeyPath, ValueName), 1);
    EXPECT_EQ(Stored().rcNormalPosition, (RECT{10, 20, 310, 220}));
}

TEST_F(PlacementTest, NormalRectangleIsCutToTheWorkAreaEdgeByEdge) {
    struct Case {
        RECT stored;
        RECT opened;
    };
    const Case cases[] = {
        {{100, 100, 900, 700}, {100, 100, 900, 700}},        // inside: unchanged
        {{-50, -20, 700, 500}, {0, 0, 700, 500}},            // past left and top
        {{1500, 900, 2500, 1500}, {1500, 900, 1920, 1080}},  // past right and bottom
        {{-10, -10, 5000, 5000}, {0, 0, 1920, 1080}},        // larger than the screen
    };
    for (const Case& c : cases) {
        platform::ResetUserState();
        StoreRect(c.stored);
        HWND dialog = Create();
        EXPECT_EQ(WindowRect(dialog), c.opened) << c.stored;
    }
}

TEST_F(PlacementTest, AStoredMaximisedWindowOpensNormalAtItsNormalRectangle) {
    StoreRect(RECT{200, 100, 1000, 700}, SW_SHOWMAXIMIZED);
    HWND dialog = Create();
    EXPECT_EQ(WindowRect(dialog), (RECT{200, 100, 1000, 700}));
    WINDOWPLACEMENT p{};
    GetWindowPlacement(dialog, &p);
    EXPECT_EQ(p.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    StoreRect(RECT{200, 100, 1000, 700}, SW_SHOWMINIMIZED);
    platform::ResetUserState();
    dialog = Create();
    EXPECT_EQ(WindowRect(dialog), (RECT{200, 100, 1000, 700}));
}

TEST_F(PlacementTest, UnusableStoredValuesCountAsAbsent) {
    const RECT templateRect{0, 0, 1803, 977};
    HWND probe = Create();
    EXPECT_EQ(shell::RestorePlacement(probe, KeyPath, ValueName), 0);  // nothing stored
    platform::ResetUserState();

    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    p.showCmd = SW_SHOWNORMAL;
    p.rcNormalPosition = RECT{10, 10, 500, 400};
    Store(&p, 40);  // short
    EXPECT_EQ(WindowRect(Create()), templateRect);
    platform::ResetUserState();

    Store(&p, sizeof p, REG_DWORD);  // another type
    EXPECT_EQ(WindowRect(Create()), templateRect);
    platform::ResetUserState();

    std::string longer(48, '\0');
    std::memcpy(longer.data(), &p, sizeof p);
    Store(longer.data(), static_cast<DWORD>(longer.size()));  // longer
    EXPECT_EQ(WindowRect(Create()), templateRect);
    platform::ResetUserState();

    StoreRect(RECT{3000, 2000, 3500, 2400});  // wholly off the work area
    HWND dialog = Create();
    EXPECT_EQ(WindowRect(dialog), templateRect);
    EXPECT_EQ(shell::RestorePlacement(dialog, KeyPath, ValueName), 0);
    StoreRect(RECT{500, 500, 400, 600});  // reversed
    EXPECT_EQ(shell::RestorePlacement(dialog, KeyPath, ValueName), 0);
    StoreRect(RECT{10, 10, 500, 400});
    EXPECT_EQ(shell::RestorePlacement(dialog, KeyPath, ValueName), 1);
    EXPECT_EQ(WindowRect(dialog), (RECT{10, 10, 500, 400}));
}

TEST_F(PlacementTest, SaveFailsQuietlyWhenTheStoreCantBeWritten) {
    dir.Write("blocker", "x");
    platform::UseRegistryFile(dir.path() / "blocker" / "registry.reg");
    HWND dialog = Create();
    EXPECT_EQ(shell::SavePlacement(dialog, KeyPath, ValueName), 0);
    DestroyWindow(dialog);  // still closes
    EXPECT_FALSE(IsWindow(dialog));
    platform::UseMemoryRegistry();
}

}  // namespace
