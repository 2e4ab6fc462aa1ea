#include <gtest/gtest.h>

#include <algorithm>

#include "XvfbServer.h"
#include "app/StartupExclusion.h"

namespace vellox {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TestWindow;
using test::WaitUntil;
using test::XvfbServer;

// Starting Qt under the sanitizers is slow; these limits only bound a hang.
constexpr auto kStartLimit = 60s;

class StartupExclusion : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!xvfb_.running()) GTEST_SKIP() << "Xvfb is not available";
    }

    const char* display() const { return xvfb_.display().c_str(); }

    int VelloxWindows() const {
        const auto windows = ListTopLevelWindows(display());
        return static_cast<int>(std::count_if(windows.begin(), windows.end(),
                                              [](const auto& w) { return w.title == "Vellox"; }));
    }

    XvfbServer xvfb_;
};

TEST_F(StartupExclusion, FindsOnlyTheExactClassAndTitle) {
    EXPECT_FALSE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, display()));
    TestWindow classOnly(xvfb_.display(), "TMainForm1", "Something else");
    TestWindow titleOnly(xvfb_.display(), "OtherClass", "Quillet");
    EXPECT_FALSE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, display()));
    {
        TestWindow both(xvfb_.display(), "TMainForm1", "Quillet");
        EXPECT_TRUE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, display()));
    }
    // Gone with its connection.
    EXPECT_FALSE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, display()));
}

TEST_F(StartupExclusion, ReadsNetWmNameBeforeWmName) {
    TestWindow legacy(xvfb_.display(), "TMainForm1", "Quillet", /*useNetWmName=*/false);
    EXPECT_TRUE(TopLevelWindowExists("TMainForm1", "Quillet", display()));

    TestWindow modern(xvfb_.display(), "Modern", "Quillet", /*useNetWmName=*/true);
    EXPECT_TRUE(TopLevelWindowExists("Modern", "Quillet", display()));
    EXPECT_FALSE(TopLevelWindowExists("Modern", "other", display()))
        << "WM_NAME is only the fallback";
}

TEST_F(StartupExclusion, FindsHiddenAndMinimisedWindows) {
    for (const auto shown : {TestWindow::Shown::Unmapped, TestWindow::Shown::IconicInFrame}) {
        TestWindow window(xvfb_.display(), "TMainForm1", "Quillet", true, shown);
        EXPECT_TRUE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, display()))
            << static_cast<int>(shown);
    }
}

TEST(StartupExclusionNoDisplay, FindsNothing) {
    EXPECT_TRUE(ListTopLevelWindows(":987654").empty());
    EXPECT_FALSE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, ":987654"));
}

TEST_F(StartupExclusion, MatchingWindowStopsTheStartSilently) {
    TestWindow other(xvfb_.display(), "TMainForm1", "Quillet");
    ChildProcess vellox(VELLOX_PROGRAM, xvfb_.display());
    ASSERT_TRUE(vellox.started());
    EXPECT_EQ(vellox.waitForExit(kStartLimit), 0);
    EXPECT_EQ(VelloxWindows(), 0);
}

TEST_F(StartupExclusion, NearMissesDoNotStopTheStart) {
    TestWindow classOnly(xvfb_.display(), "TMainForm1", "Something else");
    TestWindow titleOnly(xvfb_.display(), "OtherClass", "Quillet");
    ChildProcess vellox(VELLOX_PROGRAM, xvfb_.display());
    ASSERT_TRUE(vellox.started());
    EXPECT_TRUE(WaitUntil([&] { return VelloxWindows() == 1; }, kStartLimit));
}

TEST_F(StartupExclusion, TwoCopiesRunAtOnce) {
    ChildProcess first(VELLOX_PROGRAM, xvfb_.display());
    ASSERT_TRUE(WaitUntil([&] { return VelloxWindows() == 1; }, kStartLimit));
    ChildProcess second(VELLOX_PROGRAM, xvfb_.display());
    EXPECT_TRUE(WaitUntil([&] { return VelloxWindows() == 2; }, kStartLimit));
    // The first copy's window is not mistaken for the other tool's.
    EXPECT_FALSE(TopLevelWindowExists(kExclusionClass, kExclusionTitle, display()));
}

}  // namespace
}  // namespace vellox
