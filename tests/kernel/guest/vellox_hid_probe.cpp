// vellox-hid-probe: small host-side checks run inside the test guest against the kernel's
// hidraw node of the emulated device, until vellox-cli takes over these scenarios.
//
//   find [MS]          wait up to MS for the node; print its node, HID name, HID_ID, report lengths
//   echo NODE N [FILE] write N numbered reports, expect each back; FILE gets what was sent
//   hup NODE           make the device unplug itself; check POLLHUP, EIO on read, ENODEV on write
//   burst NODE N       have the device send N reports unread; print how many the kernel kept
//   uevents MS [N]     print kernel uevents for MS, or until N were seen
//   ask NODE HEX [MS]  write one report (HEX, zero-padded to 64 bytes); print every input
//                      report that comes within MS, with its length and arrival time
//   download NODE IMAGE [WINDOW]
//                      the product's download (erase, write blocks with up to WINDOW
//                      awaiting their echo, verify, finish) by a plain single-threaded host:
//                      blocking write(), poll()/read(); the yardstick for vellox-cli's speed
//   timed PROGRAM ARGS run PROGRAM; print its wall and CPU time in ms and its context
//                      switches; exit with its exit code
//
// Prints "key=value" lines; exits 0 when the check held.

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/netlink.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "UniqueFd.h"
#include "dialogue/Report.h"
#include "firmware/ImageFile.h"

namespace {

using guest::UniqueFd;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::uint8_t cmd_burst = 0xB0;  // EchoModel's link commands
constexpr std::uint8_t cmd_unplug = 0xDD;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Largest input and output report in bytes, plus one for the report ID.
struct ReportLengths {
    std::size_t input = 0, output = 0;
};

ReportLengths report_lengths(const std::string& d) {
    std::uint32_t size = 0, count = 0, id = 0;
    std::map<std::uint32_t, std::size_t> in_bits, out_bits;
    for (std::size_t i = 0; i < d.size();) {
        const auto prefix = static_cast<std::uint8_t>(d[i]);
        if (prefix == 0xFE) {  // long item: skip it
            if (i + 1 >= d.size()) break;
            i += 3 + static_cast<std::uint8_t>(d[i + 1]);
            continue;
        }
        const std::size_t len = (prefix & 3) == 3 ? 4 : (prefix & 3);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < len && i + 1 + k < d.size(); ++k)
            v |= std::uint32_t(static_cast<std::uint8_t>(d[i + 1 + k])) << (8 * k);
        switch (prefix & 0xFC) {
            case 0x74:
                size = v;
                break;
            case 0x94:
                count = v;
                break;
            case 0x84:
                id = v;
                break;
            case 0x80:
                in_bits[id] += std::size_t(size) * count;
                break;
            case 0x90:
                out_bits[id] += std::size_t(size) * count;
                break;
            default:
                break;
        }
        i += 1 + len;
    }
    auto largest = [](const auto& bits) {
        std::size_t m = 0;
        for (const auto& [rid, b] : bits) m = std::max(m, (b + 7) / 8);
        return m == 0 ? 0 : m + 1;
    };
    return {largest(in_bits), largest(out_bits)};
}

// "HID_ID=0003:0000FFFF:00002016" and friends from a uevent file.
std::string uevent_value(const std::string& uevent, const std::string& key) {
    const auto at = uevent.find(key + "=");
    if (at == std::string::npos) return {};
    const auto start = at + key.size() + 1;
    return uevent.substr(start, uevent.find('\n', start) - start);
}

int find(long ms) {
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(ms);
    for (;;) {
        if (DIR* dir = ::opendir("/sys/class/hidraw")) {
            std::vector<std::string> names;
            while (dirent* e = ::readdir(dir))
                if (e->d_name[0] != '.') names.emplace_back(e->d_name);
            ::closedir(dir);
            for (const auto& n : names) {
                const std::string base = "/sys/class/hidraw/" + n + "/device/";
                const auto uevent = read_file(base + "uevent");
                const auto hid_id = uevent_value(uevent, "HID_ID");
                if (hid_id != "0003:0000FFFF:00002016") continue;
                const std::string node = "/dev/" + n;
                UniqueFd fd(::open(node.c_str(), O_RDWR | O_CLOEXEC));
                if (!fd) continue;  // node not made yet; devtmpfs follows the uevent
                hidraw_devinfo info{};
                hidraw_report_descriptor rd{};
                int size = 0;
                if (::ioctl(fd.get(), HIDIOCGRAWINFO, &info) < 0 ||
                    ::ioctl(fd.get(), HIDIOCGRDESCSIZE, &size) < 0)
                    return std::perror("ioctl"), 1;
                rd.size = static_cast<std::uint32_t>(size);
                if (::ioctl(fd.get(), HIDIOCGRDESC, &rd) < 0) return std::perror("ioctl"), 1;
                const auto sysfs_rd = read_file(base + "report_descriptor");
                const auto lengths = report_lengths(sysfs_rd);
                char target[256] = {};
                if (::readlink(("/sys/class/hidraw/" + n + "/device").c_str(), target,
                               sizeof target - 1) < 0)
                    return std::perror("readlink"), 1;
                const char* slash = std::strrchr(target, '/');
                std::printf(
                    "found_after_ms=%.1f\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                std::printf("node=%s\nhid_name=%s\nhid_id=%s\nhid_name_uevent=%s\n", node.c_str(),
                            slash ? slash + 1 : target, hid_id.c_str(),
                            uevent_value(uevent, "HID_NAME").c_str());
                // Signed 16-bit fields: cast before printing or comparing.
                std::printf("rawinfo=%04x:%04x bus=%u\n", static_cast<std::uint16_t>(info.vendor),
                            static_cast<std::uint16_t>(info.product), info.bustype);
                std::printf("input_length=%zu\noutput_length=%zu\n", lengths.input, lengths.output);
                const bool same = sysfs_rd.size() == rd.size &&
                                  std::memcmp(sysfs_rd.data(), rd.value, rd.size) == 0;
                std::printf("descriptor_size=%u\ndescriptor_sysfs_matches_ioctl=%s\n", rd.size,
                            same ? "yes" : "no");
                return 0;
            }
        }
        if (Clock::now() >= deadline) {
            std::printf("node=none\n");
            return 1;
        }
        std::this_thread::sleep_for(5ms);
    }
}

UniqueFd open_node(const char* node) {
    UniqueFd fd(::open(node, O_RDWR | O_CLOEXEC));
    if (!fd) std::perror(node);
    return fd;
}

// Writes one output report: report ID 0, then 64 data bytes.
bool write_report(int fd, const std::array<std::uint8_t, 64>& data) {
    std::array<std::uint8_t, 65> buf{};
    std::copy(data.begin(), data.end(), buf.begin() + 1);
    return ::write(fd, buf.data(), buf.size()) == static_cast<ssize_t>(buf.size());
}

// Reads one input report within `timeout`; returns its length, 0 on time-out, -errno on error.
ssize_t read_report(int fd, std::uint8_t* buf, std::size_t size, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeout_ms);
    if (r < 0) return -errno;
    if (r == 0) return 0;
    const ssize_t n = ::read(fd, buf, size);
    return n < 0 ? -errno : n;
}

int echo(const char* node, int count, const char* sent_path) {
    auto fd = open_node(node);
    if (!fd) return 1;
    std::FILE* sent = sent_path ? std::fopen(sent_path, "wb") : nullptr;
    std::vector<double> trips;
    int good = 0;
    for (int i = 0; i < count; ++i) {
        std::array<std::uint8_t, 64> out{};
        // No zero bytes, so a kept or a lost report ID shows as a shift; byte 0 stays clear
        // of the echo model's link commands.
        out[0] = 0x5A;
        for (std::size_t k = 1; k < out.size(); ++k)
            out[k] = static_cast<std::uint8_t>(1 + (i * 7 + k) % 250);
        const auto t0 = Clock::now();
        if (!write_report(fd.get(), out)) return std::perror("write"), 1;
        if (sent) std::fwrite(out.data(), 1, out.size(), sent);
        std::uint8_t in[256];
        const ssize_t n = read_report(fd.get(), in, sizeof in, 2000);
        trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (n != 64 || !std::equal(out.begin(), out.end(), in)) {
            std::printf("mismatch_at=%d read_length=%zd\n", i, n);
            if (n > 0)
                std::printf("first_bytes=%02x %02x %02x (sent %02x %02x %02x)\n", in[0], in[1],
                            in[2], out[0], out[1], out[2]);
            break;
        }
        ++good;
    }
    if (sent) std::fclose(sent);
    std::sort(trips.begin(), trips.end());
    std::printf("echoed=%d of %d\n", good, count);
    if (!trips.empty())
        std::printf("round_trip_us_median=%.0f max=%.0f\n", trips[trips.size() / 2], trips.back());
    return good == count ? 0 : 1;
}

int hup(const char* node) {
    auto fd = open_node(node);
    if (!fd) return 1;
    std::array<std::uint8_t, 64> out{};
    out[0] = cmd_unplug;
    if (!write_report(fd.get(), out)) return std::perror("write"), 1;
    const auto t0 = Clock::now();
    pollfd p{fd.get(), POLLIN, 0};
    const int r = ::poll(&p, 1, 2000);
    const auto ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("poll=%d revents=%s%s%s after_ms=%.1f\n", r, p.revents & POLLHUP ? "HUP " : "",
                p.revents & POLLERR ? "ERR " : "", p.revents & POLLIN ? "IN " : "", ms);
    std::uint8_t buf[65] = {};
    errno = 0;
    const ssize_t rd = ::read(fd.get(), buf, sizeof buf);
    const int read_errno = errno;
    errno = 0;
    const ssize_t wr = ::write(fd.get(), buf, sizeof buf);
    const int write_errno = errno;
    std::printf("read=%zd read_error=%s\nwrite=%zd write_error=%s\n", rd,
                rd < 0 ? strerrorname_np(read_errno) : "none", wr,
                wr < 0 ? strerrorname_np(write_errno) : "none");
    return (p.revents & POLLHUP) && rd < 0 && read_errno == EIO && wr < 0 && write_errno == ENODEV
               ? 0
               : 1;
}

int burst(const char* node, int count) {
    auto fd = open_node(node);
    if (!fd) return 1;
    std::array<std::uint8_t, 64> out{};
    out[0] = cmd_burst;
    out[1] = static_cast<std::uint8_t>(count);
    if (!write_report(fd.get(), out)) return std::perror("write"), 1;
    // Give the device time to send everything before the first read.
    std::this_thread::sleep_for(1000ms);
    int kept = 0, first = -1, last = -1;
    std::uint8_t in[256];
    while (read_report(fd.get(), in, sizeof in, 200) == 64) {
        if (first < 0) first = in[1];
        last = in[1];
        ++kept;
    }
    std::printf("sent=%d kept=%d first=%d last=%d\n", count, kept, first, last);
    return kept > 0 ? 0 : 1;
}

int uevents(long ms, long until) {
    UniqueFd s(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT));
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = 1;  // the kernel's own events; there is no udev here to re-send them
    if (!s || ::bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
        return std::perror("netlink"), 1;
    std::printf("listening\n");
    std::fflush(stdout);
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    long seen = 0;
    while (seen < until) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) break;
        pollfd p{s.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[8192];
        const ssize_t n = ::recv(s.get(), buf, sizeof buf - 1, 0);
        if (n <= 0) continue;
        // "action@devpath\0KEY=VALUE\0..."
        std::map<std::string, std::string> env;
        for (ssize_t i = 0; i < n;) {
            const std::string field(buf + i, strnlen(buf + i, n - i));
            if (const auto eq = field.find('='); eq != std::string::npos)
                env[field.substr(0, eq)] = field.substr(eq + 1);
            i += field.size() + 1;
        }
        if (env["SUBSYSTEM"] != "hid" && env["SUBSYSTEM"] != "hidraw") continue;
        std::printf("uevent %s %s %s%s%s\n", env["ACTION"].c_str(), env["SUBSYSTEM"].c_str(),
                    env["DEVPATH"].c_str(), env.count("DEVNAME") ? " DEVNAME=" : "",
                    env.count("DEVNAME") ? env["DEVNAME"].c_str() : "");
        std::fflush(stdout);
        ++seen;
    }
    std::printf("seen=%ld\n", seen);
    return 0;
}

int ask(const char* node, const std::string& hex, long ms) {
    std::array<std::uint8_t, 64> out{};
    for (std::size_t k = 0; k + 2 <= hex.size() && k / 2 < out.size(); k += 2)
        out[k / 2] = static_cast<std::uint8_t>(std::stoul(hex.substr(k, 2), nullptr, 16));
    auto fd = open_node(node);
    if (!fd) return 1;
    const auto sent = Clock::now();
    if (!write_report(fd.get(), out)) return std::perror("write"), 1;
    const auto deadline = sent + std::chrono::milliseconds(ms);
    int replies = 0;
    std::uint8_t in[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) break;
        const ssize_t n = read_report(fd.get(), in, sizeof in, static_cast<int>(left.count()));
        if (n <= 0) break;
        std::printf("reply length=%zd hex=", n);
        for (ssize_t k = 0; k < n; ++k) std::printf("%02x", in[k]);
        std::printf(" at_ms=%ld\n",
                    static_cast<long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent)
                            .count()));
        ++replies;
    }
    std::printf("replies=%d\n", replies);
    return 0;
}

// Waits for the next well-formed reply (64 bytes, good checksum) to `command`, up to
// `timeout_ms` between reports; other reports are passed over, as the product does.
bool await_reply(int fd, std::uint8_t command, int timeout_ms, std::uint8_t* in) {
    for (;;) {
        const ssize_t n = read_report(fd, in, 256, timeout_ms);
        if (n <= 0) return false;
        if (n == static_cast<ssize_t>(vellox::ReplyDataLength) &&
            vellox::report_checksum({in - 1, vellox::ReportLength}) == in[63] && in[0] == command)
            return true;
    }
}

double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

int download(const char* node, const char* image_path, std::uint32_t window) {
    using namespace vellox;
    std::ifstream file(image_path, std::ios::binary);
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    if (image.empty() || image.size() >= ImageSizeLimit)
        return std::fprintf(stderr, "download: no usable image %s\n", image_path), 1;
    const auto size = static_cast<std::uint32_t>(image.size());
    std::uint16_t image_sum = 0;
    for (const std::uint8_t b : image) image_sum = static_cast<std::uint16_t>(image_sum + b);
    auto fd = open_node(node);
    if (!fd) return 1;

    // Byte 0 is the report ID; `in` points one past a zero so the checksum spans line up. Room
    // for longer reports, so that one is seen as too long rather than cut to a good length.
    std::array<std::uint8_t, ReportLength> out{};
    std::array<std::uint8_t, 1 + 256> in_buf{};
    std::uint8_t* in = in_buf.data() + 1;
    auto send = [&](std::uint8_t command, std::uint32_t address, std::uint8_t length) {
        out[ByteCommand] = command;
        put_address24(out, address);
        out[ByteLength] = length;
        out[ByteChecksum] = report_checksum(out);
        return ::write(fd.get(), out.data(), out.size()) == static_cast<ssize_t>(out.size());
    };
    auto fail = [](const char* what) { return std::printf("download_failed=%s\n", what), 1; };

    const auto start = Clock::now();
    if (!send(CMD_ERASE, 0, 1)) return fail("erase write");
    do {
        if (!await_reply(fd.get(), CMD_ERASE, 1000, in)) return fail("erase progress");
    } while (in[ByteData - 1] < 100);

    const auto blocks = plan_blocks(size);
    const auto write_start = Clock::now();
    std::deque<std::array<std::uint8_t, ReplyDataLength>> awaiting;
    std::size_t next = 0;
    while (next < blocks.size() || !awaiting.empty()) {
        // Take every echo already here; wait for one only when the window is full or all is sent.
        const bool must_wait = next == blocks.size() || awaiting.size() >= window;
        const ssize_t n = read_report(fd.get(), in, 256, must_wait ? 2000 : 0);
        if (n < 0) return fail("read");
        if (n == 0 && must_wait) return fail("echo time-out");
        if (n == static_cast<ssize_t>(ReplyDataLength) &&
            report_checksum({in - 1, ReportLength}) == in[63] && in[0] == CMD_WRITE) {
            if (awaiting.empty() ||
                !std::equal(awaiting.front().begin(), awaiting.front().end(), in))
                return fail("echo differs");
            awaiting.pop_front();
        }
        if (n > 0 || must_wait) continue;
        const ImageBlock& b = blocks[next++];
        std::fill(out.begin() + ByteData, out.begin() + ByteChecksum, 0);
        std::copy_n(image.begin() + b.offset, b.length, out.begin() + ByteData);
        if (!send(CMD_WRITE, b.offset, static_cast<std::uint8_t>(b.length)))
            return fail("block write");
        awaiting.emplace_back();
        std::copy_n(out.begin() + 1, ReplyDataLength, awaiting.back().begin());
    }
    const double write_ms = ms_since(write_start);

    std::fill(out.begin() + ByteData, out.begin() + ByteChecksum, 0);
    if (!send(CMD_VERIFY, size - 1, 2)) return fail("verify write");
    if (!await_reply(fd.get(), CMD_VERIFY, 30'000, in)) return fail("verify reply");
    if ((in[ByteData - 1] << 8 | in[ByteData]) != image_sum) return fail("verify sum");
    if (!send(CMD_FINISH, 0, 0)) return fail("finish write");
    if (!await_reply(fd.get(), CMD_FINISH, 30'000, in)) return fail("finish reply");
    const double total_ms = ms_since(start);
    std::printf("blocks=%zu window=%u write_ms=%.1f blocks_per_s=%.0f total_ms=%.1f\n",
                blocks.size(), window, write_ms, blocks.size() / (write_ms / 1000.0), total_ms);
    return 0;
}

// Runs a program and prints its wall time, CPU time and context switches, so that a scenario
// can measure vellox-cli and the plain host the same way (busybox date has no sub-second format).
int timed(char** argv) {
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0)
        return std::perror(argv[0]), 127;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) < 0) return std::perror("wait4"), 127;
    const double elapsed = ms_since(start);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    std::fflush(stdout);
    std::printf("elapsed_ms=%.1f user_ms=%.1f sys_ms=%.1f switches=%ld forced_switches=%ld\n",
                elapsed, ms(usage.ru_utime), ms(usage.ru_stime), usage.ru_nvcsw, usage.ru_nivcsw);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    auto num = [&](int i, long fallback) { return argc > i ? std::atol(argv[i]) : fallback; };
    if (cmd == "find") return find(num(2, 0));
    if (cmd == "echo" && argc >= 4)
        return echo(argv[2], static_cast<int>(num(3, 1)), argc > 4 ? argv[4] : nullptr);
    if (cmd == "hup" && argc >= 3) return hup(argv[2]);
    if (cmd == "burst" && argc >= 4) return burst(argv[2], static_cast<int>(num(3, 100)));
    if (cmd == "ask" && argc >= 4) return ask(argv[2], argv[3], num(4, 300));
    if (cmd == "uevents") return uevents(num(2, 1000), num(3, 1'000'000));
    if (cmd == "download" && argc >= 4)
        return download(argv[2], argv[3], static_cast<std::uint32_t>(num(4, 31)));
    if (cmd == "timed" && argc >= 3) return timed(argv + 2);
    std::fprintf(stderr,
                 "usage: vellox-hid-probe find [MS] | echo NODE N [FILE] | hup NODE | "
                 "burst NODE N | uevents MS [N] | ask NODE HEX [MS] | "
                 "download NODE IMAGE [WINDOW] | timed PROGRAM ARGS\n");
    return 2;
}
