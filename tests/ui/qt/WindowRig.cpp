#include "WindowRig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <fstream>
#include <thread>

#include "hid/THidDeviceReadThread.h"
#include "ui/qt/QtHidDispatcher.h"
#include "ui/qt/SystemLook.h"

namespace vellox::window_test {
namespace {

using namespace std::chrono_literals;

// Far beyond what any handoff takes, even on a machine under heavy load.
constexpr auto kHangLimit = 60s;

}  // namespace

sim::EmulatedDeviceSettings QuickDevice() {
    sim::EmulatedDeviceSettings s;
    s.erase_pace = 0ns;
    s.latency = 0ns;
    s.interval = 0ns;
    return s;
}

WindowRig::WindowRig(std::shared_ptr<sim::VirtualHidPlatform> p, bool trace)
    : TMainForm(TMainFormOptions{.startTimers = false, .platform = p, .traceEnabled = trace}),
      platform(std::move(p)) {}

WindowRig::~WindowRig() {
    for (const auto& f : files_) std::filesystem::remove(f);
}

std::shared_ptr<sim::VirtualHidDevice> WindowRig::plug(const sim::EmulatedDeviceSettings& settings,
                                                       sim::VirtualDeviceSetup setup) {
    model = std::make_shared<CountingFirmware>(std::make_shared<sim::EmulatedFirmware>(settings));
    models_.push_back(model);
    const int before = HidCtl->DeviceCount();
    device = platform->plug(setup, model);
    // The window's watcher rescans when the platform says so.
    settle_events([&] { return HidCtl->DeviceCount() > before; });
    return device;
}

std::shared_ptr<sim::VirtualHidDevice> WindowRig::plug_other(std::uint16_t vendor,
                                                             std::uint16_t product) {
    sim::VirtualDeviceSetup setup;
    setup.vendor = vendor;
    setup.product = product;
    const int before = HidCtl->DeviceCount();
    auto other = platform->plug(setup, std::shared_ptr<sim::DeviceModel>());
    settle_events([&] { return HidCtl->DeviceCount() > before; });
    return other;
}

void WindowRig::unplug(const std::shared_ptr<sim::VirtualHidDevice>& d) {
    d->unplug();
    settle_events([&] { return !d->plugged() && Panel2.isHidden(); });
}

std::shared_ptr<sim::VirtualHidDevice> WindowRig::connect(const sim::EmulatedDeviceSettings& settings) {
    auto d = plug(settings);
    FormActivate();
    run_ticks(QueryDelayTicks + 2);
    return d;
}

const THidDeviceReadThread* WindowRig::reader() {
    const THidDevice* selected = Dialogue().SelectedDevice;
    if (selected == nullptr || !selected->HasReadThread()) return nullptr;
    return selected->ReadThread()->Finished() ? nullptr : selected->ReadThread();
}

bool WindowRig::await_replies() {
    // Every reply the firmware sent is handed over before the clock may move. Replies are
    // awaited only while a reading thread runs: what comes while none reads (reading off)
    // may never be handed over, nor what a thread held when it was replaced, so the count
    // starts afresh then. Handed-over read errors count as deliveries too; once deliveries
    // catch up with the replies the count starts afresh as well.
    bool any = false;
    const auto give_up = std::chrono::steady_clock::now() + kHangLimit;
    for (;;) {
        const long delivered = static_cast<long>(Dispatcher().delivered());
        const THidDeviceReadThread* now_reading = reader();
        const bool replaced = reading_ != nullptr && now_reading != reading_;
        if (now_reading == nullptr || replaced || sent() - lost_ <= delivered) {
            reading_ = now_reading;
            lost_ = sent() - delivered;
            return any;
        }
        // Only turns a hang into a failure of the test's own checks.
        if (std::chrono::steady_clock::now() > give_up) {
            ADD_FAILURE() << "replies never handed over: " << sent() - lost_ - delivered;
            lost_ = sent() - delivered;
            return any;
        }
        if (Dispatcher().wait_for_work(10ms)) {
            QCoreApplication::processEvents();
            any = true;
        }
    }
}

long WindowRig::sent() const {
    long n = 0;
    for (const auto& m : models_) n += m->sent();
    return n;
}

void WindowRig::note_status() {
    const QString text = status();
    if (status_history.empty() || status_history.back().second != text) {
        status_history.emplace_back(ticks, text);
    }
}

void WindowRig::PumpMessages() {
    ++pumps;
    note_status();
    if (on_pump) on_pump();
    QCoreApplication::processEvents();
    if (await_replies()) return;
    tick();
}

void WindowRig::settle_events(const std::function<bool()>& done) {
    // Events only: a plug or unplug must not cost a tick of the query delay. The bound only
    // ends a hang; `done` holds once the window has handled the change.
    const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        await_replies();
    }
}

void WindowRig::tick() {
    QCoreApplication::processEvents();
    await_replies();
    // A tick counts toward a reply time-out only once the reading thread has looked at its
    // handle since the previous one: wait for that, so that every tick here counts.
    if (THidDevice* reader = Dialogue().SelectedDevice) {
        while (!reader->ReaderLooked()) {
            QCoreApplication::processEvents();
            std::this_thread::yield();
        }
    }
    ++ticks;
    Timer1Timer();
    Timer2Timer();
    note_status();
}

void WindowRig::run_ticks(int n) {
    for (int i = 0; i < n; ++i) tick();
}

bool WindowRig::pump_until(const std::function<bool()>& done, long limit) {
    for (long i = 0; i < limit; ++i) {
        if (done()) return true;
        PumpMessages();
    }
    return done();
}

std::filesystem::path WindowRig::offer_image(const std::vector<std::uint8_t>& image) {
    const auto path =
        std::filesystem::temp_directory_path() / ("vellox-window-" + std::to_string(::getpid()) +
                                                  "-" + std::to_string(files_.size()) + ".bin");
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    files_.push_back(path);
    file = QString::fromStdString(path.string());
    return path;
}

int WindowRig::info_queries() const {
    int n = 0;
    if (!device) return 0;
    for (const auto& r : device->written_reports()) n += !r.empty() && r[0] == CMD_INFO ? 1 : 0;
    return n;
}

bool WindowRig::status_red() const { return StatusBar1.Color() == QColor(Qt::red); }

}  // namespace vellox::window_test
