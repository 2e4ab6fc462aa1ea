// vellox-uhid-device: runs an emulated Vellox device behind /dev/uhid inside the test guest.
//
//   vellox-uhid-device [--model=firmware|echo] [--settings=TEXT] [--control=FIFO]
//                      [--plug-after=MS | --no-plug] [--replug-after=MS] [--dump=FILE]
//
// The firmware model is sim::EmulatedFirmware with its settings text (faults included); the
// echo model checks the link alone.
//   vellox-uhid-device --sample-image=FILE [--settings=TEXT]
//
// The second form writes the 100 KiB sample image for the settings' product and exits.
// The control FIFO takes lines: "plug", "unplug", "dump FILE", "quit". SIGTERM/SIGINT quit.
// On quit the device is destroyed and, with --dump, the model's flash is written to FILE.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "EchoModel.h"
#include "UhidDevice.h"
#include "sim/DeviceModel.h"

#if __has_include("sim/EmulatedFirmware.h")
#include "sim/EmulatedFirmware.h"
#include "sim/SampleImage.h"
#define VELLOX_GUEST_HAS_FIRMWARE 1
#endif

namespace {

using guest::UhidDevice;
using guest::UniqueFd;
using sim::Clock;
using namespace std::chrono_literals;

void log(const char* fmt, auto... args) {
    std::fprintf(stderr, "vellox-uhid-device: ");
    if constexpr (sizeof...(args) == 0)
        std::fputs(fmt, stderr);
    else
        std::fprintf(stderr, fmt, args...);
    std::fputc('\n', stderr);
}

struct Options {
    std::string model = "firmware";
    std::string settings;
    std::string control;
    std::string dump;
    std::string sample_image;
    std::optional<std::chrono::milliseconds> plug_after = 0ms;  // nullopt: wait for "plug"
    std::optional<std::chrono::milliseconds> replug_after;      // after the device unplugs itself
};

// The model and a view of its flash, for dumps.
struct Model {
    std::unique_ptr<sim::DeviceModel> device;
    std::function<std::span<const std::uint8_t>()> flash;
};

Model make_model(const Options& o) {
    if (o.model == "echo") {
        auto echo = std::make_unique<guest::EchoModel>();
        auto* p = echo.get();
        return {std::move(echo), [p] { return std::span<const std::uint8_t>(p->received()); }};
    }
#ifdef VELLOX_GUEST_HAS_FIRMWARE
    if (o.model == "firmware") {
        auto parsed = sim::parse_settings(o.settings);
        if (!parsed) throw std::runtime_error("bad --settings: " + parsed.error);
        auto fw = std::make_unique<sim::EmulatedFirmware>(*parsed.settings);
        auto* p = fw.get();
        return {std::move(fw), [p] { return p->flash(); }};
    }
#endif
    throw std::runtime_error("unknown --model: " + o.model);
}

// Carries the model's replies to uhid in order, each no earlier than its due time.
class UhidLink final : public sim::InputSink {
  public:
    void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override {
        queue_.push_back({{data.begin(), data.end()}, due});
    }
    void unplug() override { unplug_requested_ = true; }

    struct Pending {
        std::vector<std::uint8_t> data;
        Clock::time_point due;
    };
    std::deque<Pending> queue_;
    bool unplug_requested_ = false;
};

class DeviceProgram {
  public:
    DeviceProgram(Options options, Model model)
        : options_(std::move(options)), model_(std::move(model)) {}

    int run();

  private:
    void plug();
    void unplug(const char* why);
    void send_due(Clock::time_point now);
    void handle_uhid(const uhid_event& ev);
    void handle_command(std::string_view line);
    bool dump(const std::string& path);
    std::optional<Clock::time_point> next_wakeup() const;

    Options options_;
    Model model_;
    UhidDevice uhid_;
    UhidLink link_;
    UniqueFd control_;
    std::string control_buffer_;
    std::optional<Clock::time_point> plug_at_;
    bool quit_ = false;
    std::size_t outputs_ = 0, inputs_ = 0, dropped_ = 0, plugs_ = 0;
};

void DeviceProgram::plug() {
    if (uhid_.created()) return;
    uhid_.create(guest::UhidIdentity{}, guest::vellox_report_descriptor());
    ++plugs_;
    plug_at_.reset();
    log("plugged (%zu)", plugs_);
}

void DeviceProgram::unplug(const char* why) {
    if (!uhid_.created()) return;
    uhid_.destroy();
    // Replies still on the wire are lost with the cable.
    dropped_ += link_.queue_.size();
    link_.queue_.clear();
    log("unplugged (%s)", why);
}

void DeviceProgram::send_due(Clock::time_point now) {
    while (!link_.queue_.empty() && link_.queue_.front().due <= now) {
        if (uhid_.created()) {
            uhid_.send_input(link_.queue_.front().data);
            ++inputs_;
        } else {
            ++dropped_;
        }
        link_.queue_.pop_front();
    }
}

void DeviceProgram::handle_uhid(const uhid_event& ev) {
    switch (ev.type) {
        case UHID_OUTPUT: {
            std::span<const std::uint8_t> data(ev.u.output.data, ev.u.output.size);
            // uhid passes the hidraw write on whole; a USB HID driver strips a leading report ID
            // of 0 before the data reaches the device, so the device does it here.
            if (!data.empty() && data[0] == 0) data = data.subspan(1);
            ++outputs_;
            if (!model_.device->on_output_report(data, Clock::now(), link_))
                // uhid cannot fail the host's write; the report is simply lost.
                log("refused an output report");
            if (link_.unplug_requested_) {
                link_.unplug_requested_ = false;
                unplug("by the device");
                if (options_.replug_after) plug_at_ = Clock::now() + *options_.replug_after;
            }
            break;
        }
        case UHID_GET_REPORT:
            uhid_.reply_get_report(ev.u.get_report.id, EIO);  // no feature reports
            break;
        case UHID_SET_REPORT:
            uhid_.reply_set_report(ev.u.set_report.id, EIO);
            break;
        case UHID_OPEN:
            log("opened by the host");
            break;
        case UHID_CLOSE:
            log("closed by the host");
            break;
        default:
            break;  // START, STOP
    }
}

bool DeviceProgram::dump(const std::string& path) {
    const auto flash = model_.flash();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(flash.data(), 1, flash.size(), f) == flash.size();
    return std::fclose(f) == 0 && ok;
}

void DeviceProgram::handle_command(std::string_view line) {
    if (line == "plug") {
        plug();
    } else if (line == "unplug") {
        unplug("on cue");
    } else if (line.starts_with("dump ")) {
        const std::string path(line.substr(5));
        log(dump(path) ? "dumped flash to %s" : "cannot dump flash to %s", path.c_str());
    } else if (line == "quit") {
        quit_ = true;
    } else if (!line.empty()) {
        log("unknown command: %.*s", static_cast<int>(line.size()), line.data());
    }
}

std::optional<Clock::time_point> DeviceProgram::next_wakeup() const {
    std::optional<Clock::time_point> t = plug_at_;
    if (!link_.queue_.empty() && (!t || link_.queue_.front().due < *t))
        t = link_.queue_.front().due;
    return t;
}

int DeviceProgram::run() {
    // uhid keeps only 32 output events and drops later ones while the host's write still
    // succeeds; a USB device would hold the host back instead. Waking ahead of the writer
    // keeps that queue from filling.
    sched_param priority{};
    priority.sched_priority = 50;
    if (::sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
        log("cannot run at real-time priority: uhid may drop output reports under load");

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    UniqueFd signal_fd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));

    if (!options_.control.empty()) {
        ::mkfifo(options_.control.c_str(), 0600);  // may exist already
        // Read-write, so that the FIFO never reports end-of-file between writers.
        control_.reset(::open(options_.control.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        if (!control_) {
            log("cannot open control FIFO %s", options_.control.c_str());
            return 2;
        }
    }
    if (options_.plug_after) plug_at_ = Clock::now() + *options_.plug_after;

    while (!quit_) {
        const auto now = Clock::now();
        if (plug_at_ && *plug_at_ <= now) plug();
        send_due(now);

        timespec timeout{};
        timespec* wait = nullptr;
        if (auto t = next_wakeup()) {
            const auto left = std::max(Clock::duration::zero(), *t - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = ns / 1'000'000'000;
            timeout.tv_nsec = ns % 1'000'000'000;
            wait = &timeout;
        }
        pollfd fds[3] = {{uhid_.fd(), POLLIN, 0},
                         {control_ ? control_.get() : -1, POLLIN, 0},
                         {signal_fd.get(), POLLIN, 0}};
        if (::ppoll(fds, 3, wait, nullptr) < 0 && errno != EINTR) {
            log("poll failed");
            return 1;
        }
        if (fds[0].revents & POLLIN)
            while (auto ev = uhid_.read_event()) handle_uhid(*ev);
        if (fds[1].revents & POLLIN) {
            char buf[256];
            ssize_t n;
            while ((n = ::read(control_.get(), buf, sizeof buf)) > 0)
                control_buffer_.append(buf, n);
            std::size_t eol;
            while ((eol = control_buffer_.find('\n')) != std::string::npos) {
                handle_command(std::string_view(control_buffer_).substr(0, eol));
                control_buffer_.erase(0, eol + 1);
            }
        }
        if (fds[2].revents & POLLIN) quit_ = true;
    }

    unplug("on quit");
    log("received %zu output reports, sent %zu input reports, lost %zu", outputs_, inputs_,
        dropped_);
    if (!options_.dump.empty() && !dump(options_.dump)) {
        log("cannot dump flash to %s", options_.dump.c_str());
        return 1;
    }
    return 0;
}

std::optional<std::chrono::milliseconds> parse_ms(std::string_view v) {
    char* end = nullptr;
    const std::string s(v);
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || n < 0) return std::nullopt;
    return std::chrono::milliseconds(n);
}

bool write_sample_image(const Options& o) {
#ifdef VELLOX_GUEST_HAS_FIRMWARE
    auto parsed = sim::parse_settings(o.settings);
    if (!parsed) throw std::runtime_error("bad --settings: " + parsed.error);
    const auto image = sim::make_sample_image(sim::sample_image_size, parsed.settings->product_id);
    std::FILE* f = std::fopen(o.sample_image.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    return std::fclose(f) == 0 && ok;
#else
    (void)o;
    log("built without the emulated firmware");
    return false;
#endif
}

void usage() {
    std::fprintf(stderr,
                 "usage: vellox-uhid-device [--model=firmware|echo] [--settings=TEXT]\n"
                 "         [--control=FIFO] [--plug-after=MS | --no-plug] [--replug-after=MS]\n"
                 "         [--dump=FILE]\n"
                 "       vellox-uhid-device --sample-image=FILE [--settings=TEXT]\n"
                 "control lines: plug, unplug, dump FILE, quit\n");
#ifdef VELLOX_GUEST_HAS_FIRMWARE
    std::fprintf(stderr, "firmware settings:\n%s\n", sim::settings_help().c_str());
#endif
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&](std::string_view key) -> std::optional<std::string_view> {
            if (a.starts_with(key) && a.size() > key.size() && a[key.size()] == '=')
                return a.substr(key.size() + 1);
            return std::nullopt;
        };
        if (auto v = value("--model")) {
            o.model = *v;
        } else if (auto v = value("--settings")) {
            o.settings = *v;
        } else if (auto v = value("--control")) {
            o.control = *v;
        } else if (auto v = value("--sample-image")) {
            o.sample_image = *v;
        } else if (auto v = value("--dump")) {
            o.dump = *v;
        } else if (a == "--no-plug") {
            o.plug_after.reset();
        } else if (auto v = value("--plug-after"); v && parse_ms(*v)) {
            o.plug_after = parse_ms(*v);
        } else if (auto v = value("--replug-after"); v && parse_ms(*v)) {
            o.replug_after = parse_ms(*v);
        } else {
            usage();
            return 2;
        }
    }
    try {
        if (!o.sample_image.empty()) return write_sample_image(o) ? 0 : 1;
        DeviceProgram program(o, make_model(o));
        return program.run();
    } catch (const std::exception& e) {
        log("%s", e.what());
        return 1;
    }
}
