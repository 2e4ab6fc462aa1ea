#include "cli/CliSession.h"

#include <filesystem>
#include <fstream>

#include "cli/InfoLabels.h"
#include "cli/InterruptGuard.h"
#include "cli/JsonWriter.h"
#include "cli/PrintableText.h"
#include "firmware/ImageFile.h"
#include "hid/DefaultHidPlatform.h"
#include "sim/EmulatedFirmware.h"
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

}  // namespace

CliSession::CliSession(const CliOptions& options, const CliStreams& io)
    : options_(options),
      io_(io),
      progress_(progress_mode(options, io), io.out, io.err, io.terminal_escapes),
      host_(progress_, io.err, options.trace) {
    set_up_platform();
    controller_ = std::make_unique<THidDeviceController>(*platform_, dispatcher_);
    loop_ = std::make_unique<CliEventLoop>(dispatcher_, *platform_, *controller_);
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
        virtual_platform_ = std::make_unique<sim::VirtualHidPlatform>();
        firmware_ = std::make_shared<sim::EmulatedFirmware>(options_.simulate->firmware);
        const auto delay = options_.simulate->plug_after;
        if (delay.count() <= 0) {
            plug_simulated_device();
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
    TraceSink sink;
    if (options_.trace && !TraceEnabled) sink = [this](std::string_view line) { host_.say(line); };
    watched_platform_ = std::make_unique<WatchedHidPlatform>(*platform_, std::move(sink));
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

void CliSession::print_json(const std::string& object) { io_.out << object << '\n' << std::flush; }

int CliSession::json_failure(int code, std::string_view message) {
    if (options_.json) {
        JsonWriter json;
        json.begin_object();
        // A download's output is a stream of events that always ends with its result.
        if (options_.command == Command::Download) {
            json.key("event").value("result").key("ok").value(false).key("message");
        } else {
            json.key("ok").value(false).key("error");
        }
        json.value(message).key("exit_code").value(code).end_object();
        print_json(json.text());
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
        waited_in_vain = !loop_->wait_for_device_change(
            [&] { return count_supported() > 0; }, CliEventLoop::Clock::now() + *options_.wait);
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
        JsonWriter json;
        json.begin_object().key("devices").begin_array();
        for (const Row& row : rows) {
            json.begin_object().key("path").value(row.path).key("key").value(row.key);
            json.key("version").value(static_cast<int>(row.version));
            json.key("read_write").value(row.read_write);
            json.key("input_report_length").value(static_cast<int>(row.input_length));
            json.key("output_report_length").value(static_cast<int>(row.output_length));
            json.key("supported").value(row.supported).end_object();
        }
        json.end_array().end_object();
        print_json(json.text());
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
    if (options_.trace && !TraceEnabled) {
        tap_.emplace(*dialogue_, [this](std::string_view line) { host_.say(line); });
        loop_->set_before_deliveries([this] { tap_->reattach(); });
    }
    loop_->set_tick_handler([this] {
        dialogue_->Timer1Timer();
        dialogue_->Timer2Timer();
    });

    if (options_.device) {
        controller_->SetOnDeviceChange(TNotifyEvent::bind<&CliSession::DeviceChanged>(this));
        dialogue_->DevListBoxClick();
    } else {
        dialogue_->FormActivate();
    }
    if (!device_selected() && options_.wait) {
        loop_->wait_for_device_change([this] { return device_selected(); },
                                      CliEventLoop::Clock::now() + *options_.wait);
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

int CliSession::dialogue_failure(std::int32_t status) {
    // The engine's own reporter names the failure (red status, then the error box).
    dialogue_->show_error(status);
    return json_failure(exit_code_for_status(status), status_message(status));
}

std::optional<int> CliSession::query_information() {
    // The query switches reading on itself; the trace tap gets in front of the reply handler
    // before the reply is delivered.
    dialogue_->VerifyClick();
    if (dialogue_->DeviceBusy && options_.wait) {
        // The engine asks again every few ticks by itself.
        const auto deadline = CliEventLoop::Clock::now() + *options_.wait;
        while (dialogue_->DeviceBusy && CliEventLoop::Clock::now() < deadline) pump();
    }
    if (dialogue_->DeviceBusy) return device_busy(DeviceBusyText);
    while (!dialogue_->ReplyFlag && dialogue_->StatusCode <= 0) pump();
    if (dialogue_->StatusCode > 0) return dialogue_failure(dialogue_->StatusCode);
    return std::nullopt;
}

std::optional<int> CliSession::lock_for_download() {
    bool locked = dialogue_->LockForDownload();
    if (!locked && options_.wait) {
        const auto deadline = CliEventLoop::Clock::now() + *options_.wait;
        while (!locked && CliEventLoop::Clock::now() < deadline) {
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
        JsonWriter json;
        json.begin_object().key("ok").value(true);
        json.key("path").value(d.SelectedDevice->PnPInfo().DevicePath);
        json.key("label_table").value(label_table_name(d.ActiveLabelTable));
        json.key("shown").value(grid.visible);
        json.key("fields").begin_array();
        for (const auto& [label, value] : fields) {
            json.begin_object().key("label").value(label).key("value").value(value).end_object();
        }
        json.end_array();
        json.key("product_id").value(platform_->device_text(d.ProductId));
        json.key("serial").value(platform_->device_text(serial_number(d)));
        json.key("capacity").value(d.FlashSize).end_object();
        print_json(json.text());
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
        JsonWriter json;
        json.begin_object().key("event").value("device");
        json.key("path").value(dialogue_->SelectedDevice->PnPInfo().DevicePath);
        json.key("product_id").value(platform_->device_text(dialogue_->ProductId));
        json.key("serial").value(platform_->device_text(serial_number(*dialogue_)));
        json.key("capacity").value(dialogue_->FlashSize).end_object();
        print_json(json.text());
    }

    // The window's button only appears once the device has told its capacity; with none, the
    // procedure would end at once without a word, which must not pass for success.
    if (dialogue_->FlashSize == 0) {
        const std::string message = "The device reports no flash capacity; nothing was written.";
        host_.say(message);
        return json_failure(to_int(ExitCode::NoInformation), message);
    }

    host_.set_image(path_from_utf8(options_.image));
    download_ = std::make_unique<FirmwareDownload>(*dialogue_, host_);
    const std::size_t boxes_before = host_.messages().size();
    download_->WRITE_24AAClick();
    progress_.finish();

    const bool ok = host_.status_text() == "Download OK!" && !host_.status_red();
    int code = to_int(ExitCode::Ok);
    std::string message = "Download OK!";
    if (!ok) {
        message = host_.messages().size() > boxes_before ? host_.messages().back()
                                                         : "The download ended without a result.";
        if (host_.status_red() && dialogue_->StatusCode > 0) {
            code = exit_code_for_status(dialogue_->StatusCode);
        } else if (message == "Size of file is error") {
            code = to_int(ExitCode::ImageTooLarge);
        } else if (message == "Product ID is error") {
            code = to_int(ExitCode::ProductMismatch);
        } else if (host_.messages().size() > boxes_before) {
            code = to_int(ExitCode::ImageUnreadable);
        } else {
            code = to_int(ExitCode::Failure);
            host_.say(message);
        }
    } else {
        // The procedure asks for the information again and leaves; let that reply arrive, as
        // the window would show it, so that a trace of the run is complete.
        while (!dialogue_->ReplyFlag && dialogue_->StatusCode <= 0) pump();
    }

    if (options_.json) {
        JsonWriter json;
        json.begin_object().key("event").value("result").key("ok").value(ok);
        json.key("message").value(message).key("exit_code").value(code);
        if (ok) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(path_from_utf8(options_.image), ec);
            if (!ec) json.key("bytes").value(static_cast<std::int64_t>(size));
        }
        json.end_object();
        print_json(json.text());
    } else if (ok) {
        io_.out << message << '\n' << std::flush;
    }
    return code;
}

}  // namespace vellox::cli
