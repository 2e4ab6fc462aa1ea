// The device lock's rules, the same for every backend: any number of queries share it, a
// download has it alone, and letting go of the lock object frees it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "sim/VirtualHidPlatform.h"

#ifdef __linux__
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "hid/linux/LinuxHidPlatform.h"
#endif

namespace {

HidLockResult attempt(HidPlatform& platform, const std::string& path, HidLockMode mode,
                      std::unique_ptr<HidDeviceLock>* keep = nullptr) {
    HidLockResult result = HidLockResult::Failed;
    auto lock = platform.try_lock(path, mode, result);
    EXPECT_EQ(lock != nullptr, result == HidLockResult::Acquired);
    if (keep) *keep = std::move(lock);
    return result;
}

void expect_lock_rules(HidPlatform& platform, const std::string& path,
                       const std::string& other_path) {
    using enum HidLockMode;
    std::unique_ptr<HidDeviceLock> query1, query2, download;
    ASSERT_EQ(attempt(platform, path, Shared, &query1), HidLockResult::Acquired);
    ASSERT_EQ(attempt(platform, path, Shared, &query2), HidLockResult::Acquired);
    // Only queries stand in the way: a download may wait for them.
    EXPECT_EQ(attempt(platform, path, Exclusive), HidLockResult::HeldShared);
    // Another device is not affected.
    EXPECT_EQ(attempt(platform, other_path, Exclusive), HidLockResult::Acquired);
    query1.reset();
    EXPECT_EQ(attempt(platform, path, Exclusive), HidLockResult::HeldShared);
    query2.reset();

    ASSERT_EQ(attempt(platform, path, Exclusive, &download), HidLockResult::Acquired);
    EXPECT_EQ(attempt(platform, path, Shared), HidLockResult::HeldExclusive);
    EXPECT_EQ(attempt(platform, path, Exclusive), HidLockResult::HeldExclusive);
    download.reset();
    EXPECT_EQ(attempt(platform, path, Exclusive), HidLockResult::Acquired);
}

TEST(DeviceLock, VirtualBackendKeepsTheRulesBetweenItsUsers) {
    sim::VirtualHidPlatform platform;
    auto a = platform.plug({});
    auto b = platform.plug({});
    expect_lock_rules(platform, a->path(), b->path());
}

#ifdef __linux__
class FlockFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vellox-lock-XXXXXX";
        dir = ::mkdtemp(pattern);
        std::ofstream(dir / "hidraw0") << "";
        std::ofstream(dir / "hidraw1") << "";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string node(int n) const { return (dir / ("hidraw" + std::to_string(n))).string(); }

    std::filesystem::path dir;
    LinuxHidPlatform platform;
};

TEST_F(FlockFiles, LinuxBackendKeepsTheRulesBetweenOpenFiles) {
    expect_lock_rules(platform, node(0), node(1));
    EXPECT_EQ(attempt(platform, node(9), HidLockMode::Shared), HidLockResult::Failed);
}

TEST_F(FlockFiles, ADownloadInAnotherProcessHoldsItUntilThatProcessDies) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string path = node(0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain system calls only between fork and exit.
        const int fd = ::open(path.c_str(), O_RDONLY);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, 'y');

    EXPECT_EQ(attempt(platform, path, HidLockMode::Shared), HidLockResult::HeldExclusive);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(attempt(platform, path, HidLockMode::Exclusive), HidLockResult::Acquired);
}
#endif

}  // namespace
