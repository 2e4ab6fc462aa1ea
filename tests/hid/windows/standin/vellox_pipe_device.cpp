// vellox-pipe-device: runs an emulated Vellox device behind a message-mode named pipe, for the
// Windows HID backend's tests (with vellox-test-setupapi.dll and vellox-test-hid.dll).
//
//   vellox-pipe-device --dir=FOLDER --name=NAME [--settings=TEXT] [--plug-after=MS]
//                      [--dump=FILE] [--run-for=MS] [--stop-reading-after=N]
//
// Creating FOLDER\NAME.stop pulls the cable: the device unplugs, dumps and exits.
//
// Plugging creates the pipe \\.\pipe\vellox-test-NAME-<DevInst> and then FOLDER\NAME.dev, which
// the SetupApi stand-in lists. Each client connection is one open handle of the device: output
// reports from any of them go to the firmware, and every input report goes to all of them. The
// device unplugs when the firmware drops off the bus or --run-for (counted from the start)
// ends; the program then dumps the flash if asked and exits.
//
// --stop-reading-after=N: after N output reports the device takes no more (a firmware that
// hangs with its endpoint stalled): the client's next write stays pending for ever.

#include <windows.h>
// (after windows.h, which it needs)
#include <dbt.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/EmulatedFirmware.h"

namespace {

using sim::Clock;
using namespace std::chrono_literals;

constexpr std::size_t report_bytes = 65;  // report ID 0 and 64 data bytes
// Unread input reports one handle holds, as the HID class driver's input buffer does once the
// backend has raised it to its largest size (HidD_SetNumInputBuffers 512; the default is 32).
constexpr std::size_t handle_queue_limit = 512;

void log(const char* fmt, auto... args) {
    std::fprintf(stderr, "vellox-pipe-device: ");
    if constexpr (sizeof...(args) == 0)
        std::fputs(fmt, stderr);
    else
        std::fprintf(stderr, fmt, args...);
    std::fputc('\n', stderr);
}

// Lines the test scripts wait for.
void announce(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

struct Options {
    std::string dir, name, settings, dump;
    std::chrono::milliseconds plug_after = 0ms;
    std::optional<std::chrono::milliseconds> run_for;
    std::optional<std::size_t> stop_reading_after;
};

// Holds the firmware's replies until they are due.
class PipeLink final : public sim::InputSink {
  public:
    void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override {
        // The HID class driver hands on only reports of the declared length; a client reading
        // the pipe in byte mode would also lose its report boundaries on any other length.
        if (data.size() != report_bytes - 1) {
            ++wrong_length;
            return;
        }
        std::vector<std::uint8_t> message{0};  // no numbered reports: report ID 0 comes first
        message.insert(message.end(), data.begin(), data.end());
        queue.push_back({std::move(message), due});
    }
    void unplug() override { unplug_requested = true; }

    struct Pending {
        std::vector<std::uint8_t> message;
        Clock::time_point due;
    };
    std::deque<Pending> queue;
    bool unplug_requested = false;
    std::size_t wrong_length = 0;
};

struct Connection;

// One overlapped operation; the completion port hands back its address.
struct Operation : OVERLAPPED {
    enum Kind { connect, read, write } kind;
    Connection* owner;
    bool pending = false;
    Operation(Kind k, Connection* c) : OVERLAPPED{}, kind(k), owner(c) {}
};

// One pipe instance: listening until a client connects, then one open handle of the device.
struct Connection {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    bool connected = false;
    bool closed = false;
    Operation connecting{Operation::connect, this};
    Operation reading{Operation::read, this};
    Operation writing{Operation::write, this};
    // Larger than a report, so that an oversized write arrives whole and is seen as wrong.
    std::array<std::uint8_t, 4096> received{};
    std::deque<std::vector<std::uint8_t>> unread;  // the front one is being written

    bool busy() const { return connecting.pending || reading.pending || writing.pending; }
};

class DeviceProgram {
  public:
    DeviceProgram(Options options, sim::EmulatedFirmware firmware)
        : options_(std::move(options)), firmware_(std::move(firmware)) {}

    int run();

  private:
    void plug();
    void unplug();
    void listen();
    void listen_once();
    void completed(Operation& op, DWORD error, DWORD bytes);
    void start(Operation& op, bool ok);
    void connected(Connection& c);
    void start_read(Connection& c);
    void start_write(Connection& c);
    void deliver_due(Clock::time_point now);
    void close(Connection& c);
    void discard_closed();
    DWORD wait_ms(Clock::time_point now) const;
    bool takes_output() const {
        return !link_.unplug_requested &&
               !(options_.stop_reading_after && outputs_ >= *options_.stop_reading_after);
    }

    Options options_;
    sim::EmulatedFirmware firmware_;
    PipeLink link_;
    HANDLE port_ = nullptr;
    std::string pipe_path_, dev_file_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::optional<Clock::time_point> plug_at_, end_at_;
    bool plugged_ = false;
    std::size_t outputs_ = 0, inputs_ = 0, dropped_ = 0;
};

// A DevInst no device in this folder has had before, so that the backend sees each plug as a
// new device even when a test plugs the same name again.
DWORD fresh_devinst(const std::string& dir) {
    for (DWORD n = 1;; ++n) {
        const std::string marker = dir + "\\devinst-" + std::to_string(n) + ".taken";
        HANDLE h = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return n;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) throw std::runtime_error("cannot write " + marker);
    }
}

// What Windows sends top-level windows when a device node comes or goes.
void broadcast_device_change() {
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG,
                        1000, nullptr);
}

// Unlimited instances: one always waits for the next handle to be opened.
void DeviceProgram::listen() {
    // Several instances wait at once: a host opens the device several times in a row (query,
    // read-write, read), and an open that finds no waiting instance fails with a busy pipe.
    // An instance a client has taken still counts as waiting until its completion has been
    // handled here, which on a loaded machine can come after the host's next opens: with 4,
    // about one run in six under load failed its first open ("HID out Data error", no report
    // received); with 16, none of ten.
    constexpr std::ptrdiff_t waiting_instances = 16;
    while (std::ranges::count_if(connections_, [](const auto& c) {
               return !c->connected && !c->closed;
           }) < waiting_instances)
        listen_once();
}

void DeviceProgram::listen_once() {
    auto c = std::make_unique<Connection>();
    // No buffering either way: a write to the client stays pending until the client reads it,
    // so the unread queue below is all a handle holds; and a client's write completes only once
    // the device has taken it, as a USB device holds the host back.
    c->pipe = CreateNamedPipeA(pipe_path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                               PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    if (c->pipe == INVALID_HANDLE_VALUE || !CreateIoCompletionPort(c->pipe, port_, 0, 0))
        throw std::runtime_error("cannot create pipe " + pipe_path_);
    Connection& listener = *connections_.emplace_back(std::move(c));
    const BOOL ok = ConnectNamedPipe(listener.pipe, &listener.connecting);
    if (!ok && GetLastError() == ERROR_PIPE_CONNECTED) {
        // A client came between creation and the call: no completion will be queued.
        connected(listener);
    } else {
        start(listener.connecting, ok);
    }
}

// Records an operation just issued. With a completion port, success, pending and a message
// too long for the buffer all queue a completion; a failure does not, so it closes the
// connection here.
void DeviceProgram::start(Operation& op, bool ok) {
    const DWORD error = ok ? 0 : GetLastError();
    if (ok || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA)
        op.pending = true;
    else
        close(*op.owner);
}

void DeviceProgram::start_read(Connection& c) {
    start(c.reading, ReadFile(c.pipe, c.received.data(), c.received.size(), nullptr, &c.reading));
}

void DeviceProgram::start_write(Connection& c) {
    if (c.writing.pending || c.unread.empty() || c.closed) return;
    const auto& message = c.unread.front();
    start(c.writing, WriteFile(c.pipe, message.data(), static_cast<DWORD>(message.size()), nullptr,
                               &c.writing));
}

void DeviceProgram::connected(Connection& c) {
    c.connected = true;
    if (takes_output()) start_read(c);
}

void DeviceProgram::completed(Operation& op, DWORD error, DWORD bytes) {
    op.pending = false;
    Connection& c = *op.owner;
    if (c.closed) return;
    if (error != 0 && !(op.kind == Operation::read && error == ERROR_MORE_DATA)) {
        // The client closed its handle (or something broke): that handle is gone.
        close(c);
        return;
    }
    switch (op.kind) {
        case Operation::connect:
            connected(c);
            break;
        case Operation::read:
            // The HID class driver takes only whole reports with report ID 0; the pipe cannot
            // fail the client's write, so anything else (an over-long one in pieces) is dropped.
            if (error == 0 && bytes == report_bytes && c.received[0] == 0) {
                ++outputs_;
                if (!firmware_.on_output_report(std::span(c.received).subspan(1, 64), Clock::now(),
                                                link_))
                    log("the firmware refused an output report");
            } else {
                log("dropped a %lu-byte write", static_cast<unsigned long>(bytes));
            }
            if (takes_output()) start_read(c);
            break;
        case Operation::write:
            c.unread.pop_front();
            ++inputs_;
            start_write(c);
            break;
    }
}

void DeviceProgram::close(Connection& c) {
    if (c.closed) return;
    c.closed = true;
    // Cancels what is pending; those completions still come and are waited for before the
    // connection (which holds their OVERLAPPED) is freed.
    CloseHandle(c.pipe);
}

void DeviceProgram::discard_closed() {
    std::erase_if(connections_, [](const auto& c) { return c->closed && !c->busy(); });
}

void DeviceProgram::deliver_due(Clock::time_point now) {
    while (!link_.queue.empty() && link_.queue.front().due <= now) {
        for (auto& c : connections_) {
            if (!c->connected || c->closed) continue;
            // A full handle keeps its oldest reports and loses the new one.
            if (c->unread.size() < handle_queue_limit) {
                c->unread.push_back(link_.queue.front().message);
                start_write(*c);
            } else {
                ++dropped_;
            }
        }
        link_.queue.pop_front();
    }
}

void DeviceProgram::plug() {
    const DWORD devinst = fresh_devinst(options_.dir);
    pipe_path_ = "\\\\.\\pipe\\vellox-test-" + options_.name + "-" + std::to_string(devinst);
    listen();
    // Written aside and renamed, so that a scan never reads half a file.
    dev_file_ = options_.dir + "\\" + options_.name + ".dev";
    const std::string temp = dev_file_ + ".new";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) throw std::runtime_error("cannot write " + temp);
    std::fprintf(f, "%s %lu\n", pipe_path_.c_str(), static_cast<unsigned long>(devinst));
    if (std::fclose(f) != 0 ||
        !MoveFileExA(temp.c_str(), dev_file_.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw std::runtime_error("cannot write " + dev_file_);
    plugged_ = true;
    broadcast_device_change();
    announce("plugged");
}

void DeviceProgram::unplug() {
    if (plugged_) {
        DeleteFileA(dev_file_.c_str());
        for (auto& c : connections_) close(*c);
        // The cancelled operations complete before their buffers go.
        while (std::ranges::any_of(connections_, [](const auto& c) { return c->busy(); })) {
            DWORD bytes;
            ULONG_PTR key;
            OVERLAPPED* ov = nullptr;
            const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &ov, 5000);
            if (!ov) break;  // stuck: leave the rest to process exit
            completed(*static_cast<Operation*>(ov), ok ? 0 : GetLastError(), bytes);
        }
        discard_closed();
        broadcast_device_change();
    }
    // Replies still on the wire are lost with the cable.
    dropped_ += link_.queue.size() + link_.wrong_length;
    link_.queue.clear();
}

DWORD DeviceProgram::wait_ms(Clock::time_point now) const {
    std::optional<Clock::time_point> next = plug_at_;
    for (auto t :
         {end_at_, link_.queue.empty() ? std::nullopt : std::optional(link_.queue.front().due)})
        if (t && (!next || *t < *next)) next = t;
    // At least every 50 ms, to look for the stop file.
    if (!next) return 50;
    // Rounded up: waking early would only spin.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
    return static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 50));
}

int DeviceProgram::run() {
    port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (!port_) throw std::runtime_error("cannot create a completion port");
    const auto start = Clock::now();
    plug_at_ = start + options_.plug_after;
    if (options_.run_for) end_at_ = start + *options_.run_for;

    // A test pulls the cable by creating FOLDER\NAME.stop.
    const std::string stop_file = options_.dir + "\\" + options_.name + ".stop";
    while (!link_.unplug_requested) {
        const auto now = Clock::now();
        if (end_at_ && now >= *end_at_) break;
        if (GetFileAttributesA(stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        if (plug_at_ && now >= *plug_at_) {
            plug_at_.reset();
            plug();
        }
        deliver_due(now);
        discard_closed();
        if (plugged_) listen();

        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* ov = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &ov, wait_ms(Clock::now()));
        if (ov) completed(*static_cast<Operation*>(ov), ok ? 0 : GetLastError(), bytes);
    }

    unplug();
    log("received %zu output reports, delivered %zu input reports, dropped %zu", outputs_, inputs_,
        dropped_);
    int status = 0;
    if (!options_.dump.empty()) {
        const auto flash = firmware_.flash();
        std::FILE* f = std::fopen(options_.dump.c_str(), "wb");
        const bool written = f && std::fwrite(flash.data(), 1, flash.size(), f) == flash.size();
        if (!(f && std::fclose(f) == 0 && written)) {
            log("cannot dump flash to %s", options_.dump.c_str());
            status = 1;
        }
    }
    if (plugged_) announce("unplugged");
    return status;
}

std::optional<long> parse_count(std::string_view v) {
    char* end = nullptr;
    const std::string s(v);
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || n < 0) return std::nullopt;
    return n;
}

std::optional<std::chrono::milliseconds> parse_ms(std::string_view v) {
    const auto n = parse_count(v);
    if (!n) return std::nullopt;
    return std::chrono::milliseconds(*n);
}

void usage() {
    std::fprintf(stderr,
                 "usage: vellox-pipe-device --dir=FOLDER --name=NAME [--settings=TEXT]\n"
                 "         [--plug-after=MS] [--dump=FILE] [--run-for=MS]\n"
                 "         [--stop-reading-after=N]\n"
                 "firmware settings:\n%s\n",
                 sim::settings_help().c_str());
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
        if (auto v = value("--dir")) {
            o.dir = *v;
        } else if (auto v = value("--name")) {
            o.name = *v;
        } else if (auto v = value("--settings")) {
            o.settings = *v;
        } else if (auto v = value("--dump")) {
            o.dump = *v;
        } else if (auto v = value("--plug-after"); v && parse_ms(*v)) {
            o.plug_after = *parse_ms(*v);
        } else if (auto v = value("--run-for"); v && parse_ms(*v)) {
            o.run_for = parse_ms(*v);
        } else if (auto v = value("--stop-reading-after"); v && parse_count(*v)) {
            o.stop_reading_after = static_cast<std::size_t>(*parse_count(*v));
        } else {
            usage();
            return 2;
        }
    }
    // The name ends up in a pipe name and a listing line: no separators, no blanks.
    if (o.dir.empty() || o.name.empty() || o.name.find_first_of(" \\/:") != std::string::npos) {
        usage();
        return 2;
    }
    try {
        auto parsed = sim::parse_settings(o.settings);
        if (!parsed) throw std::runtime_error("bad --settings: " + parsed.error);
        DeviceProgram program(o, sim::EmulatedFirmware(*parsed.settings));
        return program.run();
    } catch (const std::exception& e) {
        log("%s", e.what());
        return 1;
    }
}
