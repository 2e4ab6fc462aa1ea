#include "cli/CliSession.h"

#include <filesystem>
#include <fstream>

#include "cli/InfoLabels.h"
#include "cli/InterruptGuard.h"
#include "cli/Json.h"
#include "cli/PrintableText.h"
#include "firmware/ImageFile.h"
#include "hid/DefaultHidPlatform.h"
#include "sim/EmulatedFirmware.h"
#include "sim/VirtualClock.h"
#include "sim/VirtualHidPlatform.h"

namespace vellox::cli {
namespace {

constexpr std::uint16_t SupportedVendor = 0xFFFF;
constexpr std::uint16_t SupportedProduct = 0x2016;

ProgressOutput::Mode progress_mode(const CliOptions& options, const CliStreams& io) {
    if (options.json) return ProgressOutput::Mode::Json;
    // Trace lines would tear a redrawing line apart.
    if (io.err_is_terminal && !options.trace) return ProgressOutput::Mode::Terminal;
    return ProgressOutput::Mode::Lines;
}

std::string hex4(std::uint16_t value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = hex[value & 0xF];
    return out;
}

// The serial number field of the information reply as the device sent it, without the blanks
// and zeros that pad it; raw bytes.
std::string serial_number(const DeviceDialogue& dialogue) {
    constexpr std::size_t first = 46;
    constexpr std::size_t length = 16;
    std::string serial(dialogue.InReport.begin() + first,
                       dialogue.InReport.begin() + first + length);
    while (!serial.empty() && (serial.back() == ' ' || serial.back() == '\0')) serial.pop_back();
    return serial;
}

bool is_supported(const THidDevice& device) {
    return device_key(device.Attributes()) == SupportedDeviceKey;
}

// The exit code and the message of a download's outcome.
std::pair<ExitCode, std::string> download_exit(const FirmwareDownload& download,
                                               const CliHost& host) {
    const auto shown = [&host] {
        return host.messages().empty() ? std::string() : host.messages().back();
    };
    switch (download.Outcome) {
        case DownloadOutcome::Done:
            return {ExitCode::Ok, "Download OK!"};
        // The window's button only appears once the device has told its capacity; with none,
        // the procedure ends at once without a word, which must not pass for success.
        case DownloadOutcome::NoCapacity:
            return {ExitCode::NoCapacity,
                    "The device reports no flash capacity; nothing was written."};
        case DownloadOutcome::Cancelled:
            return {ExitCode::Failure, "The download ended without a result."};
        case DownloadOutcome::FileError:
            return {ExitCode::ImageUnreadable, shown()};
        case DownloadOutcome::SizeRefused:
            return {ExitCode::ImageTooLarge, shown()};
        case DownloadOutcome::ProductRefused:
            return {ExitCode::ProductMismatch, shown()};
        case DownloadOutcome::DeviceBusy:
            return {ExitCode::DeviceBusy, shown()};
        case DownloadOutcome::Failed:
            break;
    }
    return {ExitCode{exit_code_for_status(download.FailedStatus)},
            std::string(status_message(download.FailedStatus))};
}

}  // namespace

CliSession::CliSession(const CliOptions& options, const CliStreams& io)
    : options_(options),
      io_(io),
      progress_(progress_mode(options, io), io.out, io.err, io.terminal_escapes),
      host_(progress_, io.err) {
    set_up_platform();
    controller_ = std::make_unique<THidDeviceController>(*platform_, dispatcher_);
    loop_ =
        std::make_unique<CliEventLoop>(dispatcher_, *platform_, *controller_, virtual_clock_.get());
    loop_->set_send_counter([this] { return watched_platform_->writes(); });
    host_.set_event_loop(loop_.get());
}

CliSession::~CliSession() {
    // The engine first: it switches reading off and gives its records back to the controller.
    dialogue_.reset();
    host_.set_event_loop(nullptr);
    loop_.reset();
    controller_.reset();
}

void CliSession::set_up_platform() {
    if (options_.simulate) {
        if (options_.simulate->firmware.virtual_clock) {
            virtual_clock_ = std::make_unique<sim::VirtualClock>();
        }
        virtual_platform_ = std::make_unique<sim::VirtualHidPlatform>(virtual_clock_.get());
        firmware_ = std::make_shared<sim::EmulatedFirmware>(options_.simulate->firmware);
        const auto delay = options_.simulate->plug_after;
        if (delay.count() <= 0) {
            plug_simulated_device();
        } else if (virtual_clock_) {
            virtual_clock_->call_at(virtual_clock_->now() + delay,
                                    [this] { plug_simulated_device(); });
        } else {
            plug_thread_ = std::jthread([this, delay](std::stop_token stop) {
                std::unique_lock lock(plug_mutex_);
                if (!plug_cond_.wait_for(lock, stop, delay, [] { return false; }) &&
                    !stop.stop_requested()) {
                    plug_simulated_device();
                }
            });
        }
        platform_ = virtual_platform_.get();
    } else {
        system_platform_ = make_default_hid_platform();
        platform_ = system_platform_.get();
    }
    watched_platform_ = std::make_unique<WatchedHidPlatform>(*platform_);
    platform_ = watched_platform_.get();
}

void CliSession::plug_simulated_device() {
    sim::VirtualDeviceSetup setup;
    setup.product_name = "Vellox emulated device";
    // The firmware cannot make its interface open for queries only; the link does that.
    setup.exclusive = firmware_->settings().faults.query_only;
    setup.locked_elsewhere = firmware_->settings().faults.locked_elsewhere;
    virtual_platform_->plug(setup, firmware_);
}

void CliSession::dump_simulated_flash() {
    if (!options_.simulate_dump || !firmware_) return;
    std::ofstream out(path_from_utf8(*options_.simulate_dump), std::ios::binary | std::ios::trunc);
    const auto flash = firmware_->flash();
    out.write(reinterpret_cast<const char*>(flash.data()),
              static_cast<std::streamsize>(flash.size()));
    if (!out) host_.say("vellox-cli: cannot write " + *options_.simulate_dump);
}

int CliSession::run() {
    int code = to_int(ExitCode::Failure);
    // A system whose HID service cannot be bound would otherwise only say "No HID device".
    const std::string unbound = system_platform_ && !system_platform_->available()
                                    ? system_platform_->unavailable_reason()
                                    : std::string();
    if (!unbound.empty()) {
        host_.say("vellox-cli: " + unbound);
        return json_failure(code, unbound);
    }
    switch (options_.command) {
        case Command::List:
            code = run_list();
            break;
        case Command::Info: {
            const InterruptGuard guard(
                interrupt_line("interrupted: the query will finish; a second Ctrl+C abandons it."),
                interrupt_line("query abandoned."));
            code = run_info();
            break;
        }
        case Command::Download: {
            // Ending at once would leave the device erased and half written, with no word.
            const InterruptGuard guard(
                interrupt_line("interrupted: the download will finish; a second Ctrl+C "
                               "abandons it and leaves the device incomplete."),
                interrupt_line("download abandoned; the device is left incomplete."));
            code = run_download();
            break;
        }
        case Command::None:
        case Command::Station:  // runs without a session of its own
            break;
    }
    progress_.finish();
    // The engine lets go of the device before the flash is looked at.
    dialogue_.reset();
    dump_simulated_flash();
    return code;
}

void CliSession::pump() { loop_->pump(); }

std::string CliSession::interrupt_line(std::string_view text) const {
    // On a terminal the progress line may be open: the message starts a line of its own.
    return std::string(io_.err_is_terminal ? "\n" : "") + "vellox-cli: " + std::string(text) + '\n';
}

void CliSession::print_json(const Json& object) {
    io_.out << json_text(object) << '\n' << std::flush;
}

int CliSession::json_failure(int code, std::string_view message) {
    if (options_.json) {
        // A download's output is a stream of events that always ends with its result.
        Json json = options_.command == Command::Download
                        ? Json{{"event", "result"}, {"ok", false}, {"message", message}}
                        : Json{{"ok", false}, {"error", message}};
        json["exit_code"] = code;
        print_json(json);
    }
    return code;
}

// ---- list -------------------------------------------------------------------------------

int CliSession::run_list() {
    auto count_supported = [this] {
        int n = 0;
        for (std::int32_t i = 0; i < controller_->DeviceCount(); ++i) {
            THidDevice* device = controller_->DeviceAt(i);
            if (device != nullptr && device->PluggedIn() && is_supported(*device)) ++n;
        }
        return n;
    };
    bool waited_in_vain = false;
    if (options_.wait && count_supported() == 0) {
        waited_in_vain = !loop_->wait_for_device_change([&] { return count_supported() > 0; },
                                                        loop_->now() + *options_.wait);
    }

    struct Row {
        std::string path;
        std::string key;
        std::uint16_t version;
        bool read_write;
        std::uint16_t input_length;
        std::uint16_t output_length;
        bool supported;
    };
    std::vector<Row> rows;
    // During the walk the controller lets each record open its handles for queries.
    auto visit = [&rows](THidDevice* device, const std::int32_t) {
        const HidCaps caps = device->GetCaps();
        rows.push_back({device->PnPInfo().DevicePath, device_key(device->Attributes()),
                        device->Attributes().VersionNumber, device->ReadWriteAccess(),
                        caps.InputReportByteLength, caps.OutputReportByteLength,
                        is_supported(*device)});
        return true;
    };
    controller_->SetOnEnumerate(THidEnumerateEvent::bind(&visit));
    controller_->Enumerate();
    controller_->SetOnEnumerate({});

    if (options_.json) {
        Json devices = Json::array();
        for (const Row& row : rows) {
            devices.push_back({{"path", row.path},
                               {"key", row.key},
                               {"version", row.version},
                               {"read_write", row.read_write},
                               {"input_report_length", row.input_length},
                               {"output_report_length", row.output_length},
                               {"supported", row.supported}});
        }
        print_json({{"devices", devices}});
    } else {
        for (const Row& row : rows) {
            io_.out << printable(row.path) << ' ' << row.key << " version=" << hex4(row.version)
                    << ' ' << (row.read_write ? "read-write" : "query-only")
                    << " input=" << row.input_length << " output=" << row.output_length << ' '
                    << (row.supported ? "supported" : "unsupported") << '\n';
        }
        io_.out << std::flush;
    }

    // Supported devices this user may not open are left out of the list above, or listed as
    // query-only: say why.
    bool denied = false;
    if (system_platform_) {
        for (const std::string& path :
             system_platform_->denied_paths(SupportedVendor, SupportedProduct)) {
            host_.say(system_platform_->access_advice(path));
            denied = true;
        }
    }
    if (waited_in_vain) {
        host_.say("No HID device");
        return to_int(denied ? ExitCode::PermissionDenied : ExitCode::NoDevice);
    }
    return to_int(ExitCode::Ok);
}

// ---- device selection -------------------------------------------------------------------

void CliSession::DeviceChanged(THidDeviceController* Sender) {
    dialogue_->HidCtlDeviceChange(Sender);
    // --device: as if the user had clicked that interface's entry in the device list.
    int chosen = -1;
    for (std::size_t i = 0; i < dialogue_->DevListBox.size(); ++i) {
        const auto& record = dialogue_->DevListBox[i].record;
        if (record && platform_->same_device_path(record->PnPInfo().DevicePath, *options_.device)) {
            chosen = static_cast<int>(i);
            break;
        }
    }
    dialogue_->DevListBoxIndex = chosen;
    dialogue_->DevListBoxClick();
}

bool CliSession::device_selected() const {
    return dialogue_ && dialogue_->SelectedDevice != nullptr &&
           dialogue_->SelectedDevice->PluggedIn();
}

std::optional<int> CliSession::select_device() {
    dialogue_ = std::make_unique<DeviceDialogue>(host_, *controller_);
    dialogue_->TraceEnabled = options_.trace;
    loop_->set_tick_handler([this] {
        dialogue_->Timer1Timer();
        dialogue_->Timer2Timer();
    });
    loop_->set_reader([this] { return dialogue_ ? dialogue_->SelectedDevice : nullptr; });

    if (options_.device) {
        controller_->SetOnDeviceChange(TNotifyEvent::bind<&CliSession::DeviceChanged>(this));
        dialogue_->DevListBoxClick();
    } else {
        dialogue_->FormActivate();
    }
    if (!device_selected() && options_.wait) {
        loop_->wait_for_device_change([this] { return device_selected(); },
                                      loop_->now() + *options_.wait);
    }
    if (!device_selected()) return no_device();

    // A node that opened only for queries may be one this user lacks the rights to write.
    THidDevice* device = dialogue_->SelectedDevice;
    if (!device->ReadWriteAccess() && system_platform_ &&
        system_platform_->access_denied(device->PnPInfo().DevicePath)) {
        const std::string message = system_platform_->access_advice(device->PnPInfo().DevicePath);
        host_.say(message);
        return json_failure(to_int(ExitCode::PermissionDenied), message);
    }
    return std::nullopt;
}

int CliSession::no_device() {
    if (system_platform_) {
        for (const std::string& path :
             system_platform_->denied_paths(SupportedVendor, SupportedProduct)) {
            if (options_.device && path != *options_.device) continue;
            const std::string message = system_platform_->access_advice(path);
            host_.say(message);
            return json_failure(to_int(ExitCode::PermissionDenied), message);
        }
    }
    const std::string message =
        options_.device ? "No HID device at " + *options_.device : std::string("No HID device");
    host_.say(message);
    return json_failure(to_int(ExitCode::NoDevice), message);
}

int CliSession::dialogue_failure(DialogueStatus status) {
    // The engine's own reporter names the failure (red status, then the error box).
    dialogue_->show_error(status);
    return json_failure(exit_code_for_status(status), status_message(status));
}

std::optional<int> CliSession::query_information() {
    // The query switches reading on itself.
    dialogue_->VerifyClick();
    if (dialogue_->DeviceBusy && options_.wait) {
        // The engine asks again every few ticks by itself.
        const auto deadline = loop_->now() + *options_.wait;
        while (dialogue_->DeviceBusy && loop_->now() < deadline) pump();
    }
    if (dialogue_->DeviceBusy) return device_busy(DeviceBusyText);
    while (!dialogue_->ReplyFlag && dialogue_->StatusCode == DialogueStatus::Ok) pump();
    if (dialogue_->StatusCode != DialogueStatus::Ok) return dialogue_failure(dialogue_->StatusCode);
    return std::nullopt;
}

std::optional<int> CliSession::lock_for_download() {
    bool locked = dialogue_->LockForDownload();
    if (!locked && options_.wait) {
        const auto deadline = loop_->now() + *options_.wait;
        while (!locked && loop_->now() < deadline) {
            pump();
            locked = dialogue_->LockForDownload();
        }
    }
    if (locked) return std::nullopt;
    return device_busy(std::string(DeviceBusyText) + "; nothing was written.");
}

int CliSession::device_busy(std::string_view message) {
    host_.say(message);
    return json_failure(to_int(ExitCode::DeviceBusy), message);
}

// ---- info -------------------------------------------------------------------------------

int CliSession::run_info() {
    if (auto failed = select_device()) return *failed;
    if (auto failed = query_information()) return *failed;

    const DeviceDialogue& d = *dialogue_;
    const InfoGrid& grid = d.StringGrid1;
    // The header row's cells stay with the window; rows with an empty label are the empty row
    // a grid keeps when no field was shown.
    std::vector<std::pair<std::string, std::string>> fields;
    if (grid.visible) {
        for (const auto& row : grid.rows) {
            if (!row.first.empty()) fields.push_back(row);
        }
    }

    if (options_.json) {
        Json shown = Json::array();
        for (const auto& [label, value] : fields)
            shown.push_back({{"label", label}, {"value", value}});
        print_json({{"ok", true},
                    {"path", d.SelectedDevice->PnPInfo().DevicePath},
                    {"label_table", label_table_name(d.ActiveLabelTable)},
                    {"shown", grid.visible},
                    {"fields", shown},
                    {"product_id", platform_->device_text(d.ProductId)},
                    {"serial", platform_->device_text(serial_number(d))},
                    {"capacity", d.FlashSize}});
    } else {
        for (const auto& [label, value] : fields)
            io_.out << label << ": " << printable_text(value) << '\n';
        io_.out << "Product identifier: " << printable_text(platform_->device_text(d.ProductId))
                << '\n';
        io_.out << "Capacity: " << d.FlashSize << " bytes\n" << std::flush;
        if (!grid.visible) host_.say("The device keeps its information fields hidden.");
    }
    return to_int(ExitCode::Ok);
}

// ---- download ---------------------------------------------------------------------------

int CliSession::run_download() {
    if (auto failed = select_device()) return *failed;
    // Held from the first report on, the query that starts the download included.
    if (auto failed = lock_for_download()) return *failed;
    if (auto failed = query_information()) return *failed;
    if (options_.json) {
        // Who is being flashed, for a station's record.
        print_json({{"event", "device"},
                    {"path", dialogue_->SelectedDevice->PnPInfo().DevicePath},
                    {"product_id", platform_->device_text(dialogue_->ProductId)},
                    {"serial", platform_->device_text(serial_number(*dialogue_))},
                    {"capacity", dialogue_->FlashSize}});
    }

    host_.set_image(path_from_utf8(options_.image));
    download_ = std::make_unique<FirmwareDownload>(*dialogue_, host_);
    download_->WRITE_24AAClick();
    progress_.finish();

    const auto [code, message] = download_exit(*download_, host_);
    const bool ok = code == ExitCode::Ok;
    // The engine's boxes have shown every other outcome already.
    if (download_->Outcome == DownloadOutcome::NoCapacity ||
        download_->Outcome == DownloadOutcome::Cancelled) {
        host_.say(message);
    }
    if (ok) {
        // The procedure asks for the information again and leaves; let that reply arrive, as
        // the window would show it, so that a trace of the run is complete.
        while (!dialogue_->ReplyFlag && dialogue_->StatusCode == DialogueStatus::Ok) pump();
    }

    if (options_.json) {
        Json json = {
            {"event", "result"}, {"ok", ok}, {"message", message}, {"exit_code", to_int(code)}};
        if (ok) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(path_from_utf8(options_.image), ec);
            if (!ec) json["bytes"] = size;
        }
        print_json(json);
    } else if (ok) {
        io_.out << message << '\n' << std::flush;
    }
    return to_int(code);
}

}  // namespace vellox::cli
