#include "cli/station/Station.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "cli/ExitCode.h"
#include "cli/Json.h"
#include "cli/PrintableText.h"
#include "cli/station/StationDisplay.h"
#include "cli/station/StationImage.h"
#include "cli/station/StationLog.h"
#include "cli/station/StationSimulation.h"
#include "cli/station/StationSystem.h"
#include "cli/station/WorkerDeadline.h"
#include "dialogue/DeviceDialogue.h"
#include "firmware/ImageFile.h"
#include "hid/DefaultHidPlatform.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDeviceController.h"
#include "sim/VirtualHidPlatform.h"

namespace vellox::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

constexpr std::uint16_t SupportedVendor = 0xFFFF;
constexpr std::uint16_t SupportedProduct = 0x2016;

// A board just plugged in may still be starting up and not answer yet: a device that never
// answered its query, and so has had nothing written, is asked again a little later, a few
// times, before it counts as failed. A busy host no longer needs this: the query's time-out
// waits for its reading thread.
constexpr int QueryAttempts = 3;
constexpr auto QueryRetryDelay = std::chrono::milliseconds(500);
constexpr const char* StoppingReason = "not flashed, the station was stopping";
// A worker asked to end (SIGTERM) has this long to do so before it is made to (SIGKILL).
constexpr auto KillGrace = std::chrono::seconds(5);
// Where the system cannot tell the loop that a process ended, it looks this often.
constexpr int ReapPollMs = 50;

// ---- helpers ----------------------------------------------------------------------------

std::string utc_time(WallClock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    std::tm parts{};
    utc_parts(ms.count() / 1000, parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(ms.count() % 1000));
    return std::string(text) + millis;
}

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// ---- one device at the station ----------------------------------------------------------

struct Job {
    enum class Stage { Query, Download };

    std::string instance_id;
    std::string node;
    std::optional<std::uint32_t> plug;  // emulated bench: the plug's number, from 0
    Stage stage = Stage::Download;
    std::unique_ptr<WorkerProcess> worker;
    SteadyClock::time_point deadline;  // of the running worker
    // Why the station cut the worker short, and when it is to be killed if still there.
    enum class Cut { None, TimedOut, Operator } cut = Cut::None;
    std::optional<SteadyClock::time_point> kill_at;
    WallClock::time_point start_wall;
    SteadyClock::time_point start;

    std::string serial;
    std::string product_id;
    bool answered = false;  // the device replied to a query of this plug
    int attempts = 0;       // workers started for the current stage
    std::optional<SteadyClock::time_point> retry_at;
    std::string phase = "Starting";
    int percent = -1;
    std::optional<Json> result;  // the worker's result (download) or reply (info)
};

class Station {
  public:
    Station(const CliOptions& options, const CliStreams& io, std::string program, ImageFacts image,
            ImageSnapshot snapshot, std::optional<StationSimulation> simulation,
            std::optional<StationLog> log)
        : options_(options),
          program_(std::move(program)),
          worker_deadline_(options.worker_deadline ? *options.worker_deadline
                                                   : worker_deadline(image.size)),
          image_(std::move(image)),
          snapshot_(std::move(snapshot)),
          simulation_(std::move(simulation)),
          log_(std::move(log)),
          display_(options.json                                ? StationDisplay::Mode::Json
                   : io.err_is_terminal && io.terminal_escapes ? StationDisplay::Mode::Terminal
                                                               : StationDisplay::Mode::Lines,
                   io.out, io.err),
          host_(station_host_name()) {
        if (simulation_) {
            virtual_platform_ = std::make_unique<sim::VirtualHidPlatform>();
            platform_ = virtual_platform_.get();
            next_plug_due_ = SteadyClock::now() + simulation_->plug_after;
        } else {
            system_platform_ = make_default_hid_platform();
            platform_ = system_platform_.get();
        }
        controller_ = std::make_unique<THidDeviceController>(*platform_, dispatcher_);
    }

    int run();

  private:
    bool done() const;
    void plug_due_devices();
    int poll_timeout() const;
    void take_new_devices();
    void report_denied_nodes();
    void start_job(const THidPnPInfo& info);
    bool start_worker(Job& job);
    void on_line(Job& job, const std::string& line);
    // The worker of `job` ended: the job finishes, or goes on with its download.
    void on_worker_end(Job& job);
    // Drops the jobs that are over and takes the devices that are new.
    void sweep();
    void finish(Job& job, bool ok, const std::string& message, int exit_code);
    // The device is let go untouched, and counted as skipped for the reason `why`.
    void skip(Job& job, const std::string& why);
    void stop_on_log_fault(const std::string& error);
    void release(Job& job);
    // `ending`: the system ends the station shortly (a closing console): no grace for anyone.
    void on_signals(int count, bool ending);
    // Asks the worker to end (SIGTERM), to be killed after a grace (SIGKILL); logged as cut.
    void cut(Job& job, Job::Cut why);
    void check_deadlines();
    // A fault of the station rather than of a device: said, and no new devices are taken.
    void station_fault(Job& job, const std::string& error);
    void redraw();
    std::string label(const Job& job) const;

    const CliOptions& options_;
    std::string program_;
    std::string executable_ = worker_executable(program_);
    std::chrono::milliseconds worker_deadline_;
    ImageFacts image_;
    ImageSnapshot snapshot_;
    std::optional<StationSimulation> simulation_;
    std::optional<StationLog> log_;
    StationDisplay display_;
    std::string host_;

    std::unique_ptr<sim::VirtualHidPlatform> virtual_platform_;
    std::unique_ptr<HidPlatform> system_platform_;
    HidPlatform* platform_ = nullptr;
    PumpedHidDispatcher dispatcher_;
    std::unique_ptr<THidDeviceController> controller_;

    // Emulated bench: the next plug, when it is due, and the devices plugged now.
    std::uint32_t next_plug_ = 0;
    SteadyClock::time_point next_plug_due_;
    std::map<std::string, std::shared_ptr<sim::VirtualHidDevice>> plugged_;  // by instance id
    std::map<std::string, std::uint32_t> plug_of_;                           // by instance id
    std::set<std::size_t> devices_in_use_;

    std::vector<std::unique_ptr<Job>> jobs_;
    std::set<std::string> taken_;  // instance ids handed to a job during this plug
    std::set<std::string> denied_reported_;
    std::chrono::seconds kill_grace_ = KillGrace;
    bool stopping_ = false;
    bool log_failed_ = false;
    bool station_failed_ = false;
    int signals_ = 0;
    std::uint32_t succeeded_ = 0;
    std::uint32_t failed_ = 0;
    std::uint32_t skipped_ = 0;
    std::uint32_t held_ = 0;  // boards another program was flashing
};

std::string Station::label(const Job& job) const {
    return printable(job.node) + "  " + (job.serial.empty() ? "-" : printable(job.serial));
}

bool Station::done() const {
    if (!jobs_.empty()) return false;
    if (stopping_) return true;
    if (options_.count && succeeded_ + failed_ >= *options_.count) return true;
    // The emulated bench has no more devices to bring.
    return simulation_ && next_plug_ >= simulation_->plugs && plugged_.empty();
}

void Station::plug_due_devices() {
    if (!simulation_ || stopping_) return;
    while (next_plug_ < simulation_->plugs && SteadyClock::now() >= next_plug_due_) {
        const std::size_t device = simulation_->device_of_plug(next_plug_);
        // A device comes back only after it was taken off the bench.
        if (devices_in_use_.count(device) != 0) return;
        const sim::EmulatedDeviceSettings& settings = simulation_->devices[device];
        sim::VirtualDeviceSetup setup;
        setup.product_name = "Vellox emulated device";
        setup.exclusive = settings.faults.query_only;
        setup.locked_elsewhere = settings.faults.locked_elsewhere;
        auto plugged = virtual_platform_->plug(setup);
        plugged_[plugged->instance_id()] = plugged;
        plug_of_[plugged->instance_id()] = next_plug_;
        devices_in_use_.insert(device);
        ++next_plug_;
        next_plug_due_ += simulation_->plug_every;
    }
}

int Station::poll_timeout() const {
    std::optional<SteadyClock::time_point> due;
    const auto consider = [&due](std::optional<SteadyClock::time_point> when) {
        if (when && (!due || *when < *due)) due = when;
    };
    if (simulation_ && !stopping_ && next_plug_ < simulation_->plugs) due = next_plug_due_;
    bool unwatched_end = false;
    for (const auto& job : jobs_) {
        consider(job->retry_at);
        if (!job->worker || job->worker->reaped()) continue;
        consider(job->kill_at);
        if (job->cut == Job::Cut::None) consider(job->deadline);
        unwatched_end |= job->worker->output_ended() && !job->worker->end_watched();
    }
    int timeout = -1;
    if (due) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - SteadyClock::now());
        timeout = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 60000));
    }
    return unwatched_end && (timeout < 0 || timeout > ReapPollMs) ? ReapPollMs : timeout;
}

void Station::report_denied_nodes() {
    if (!system_platform_) return;
    for (const std::string& path :
         system_platform_->denied_paths(SupportedVendor, SupportedProduct)) {
        if (denied_reported_.insert(path).second)
            display_.note(system_platform_->access_advice(path));
    }
}

void Station::take_new_devices() {
    std::set<std::string> present;
    for (std::int32_t i = 0; i < controller_->DeviceCount(); ++i) {
        THidDevice* device = controller_->DeviceAt(i);
        if (device == nullptr || !device->PluggedIn()) continue;
        if (device_key(device->Attributes()) != SupportedDeviceKey) continue;
        const THidPnPInfo& info = device->PnPInfo();
        present.insert(info.InstanceId);
        if (taken_.count(info.InstanceId) != 0 || stopping_) continue;
        // With --count, the devices beyond it stay untouched (and are taken if a slot frees).
        if (options_.count && succeeded_ + failed_ + jobs_.size() >= *options_.count) continue;
        // So do those beyond what the system's wait can watch at once.
        if (jobs_.size() >= worker_limit()) continue;
        taken_.insert(info.InstanceId);
        start_job(info);
    }
    // An identity that is gone never comes back: a re-plug brings a new one.
    std::erase_if(taken_, [&](const std::string& id) { return present.count(id) == 0; });
}

void Station::start_job(const THidPnPInfo& info) {
    auto job = std::make_unique<Job>();
    job->instance_id = info.InstanceId;
    job->node = info.DevicePath;
    if (auto it = plug_of_.find(info.InstanceId); it != plug_of_.end()) job->plug = it->second;
    job->start_wall = WallClock::now();
    job->start = SteadyClock::now();
    job->stage = options_.once_per_serial ? Job::Stage::Query : Job::Stage::Download;
    Job& started = *job;
    jobs_.push_back(std::move(job));
    // A worker that cannot start is logged as a failure by finish(); the sweep removes it.
    start_worker(started);
}

bool Station::start_worker(Job& job) {
    std::vector<std::string> argv{program_, "--json"};
    if (job.plug) {
        const auto& settings = simulation_->devices[simulation_->device_of_plug(*job.plug)];
        argv.push_back("--simulate=" + sim::format_settings(settings));
        if (options_.simulate_dump && job.stage == Job::Stage::Download) {
            argv.push_back("--simulate-dump=" + *options_.simulate_dump + "." +
                           std::to_string(*job.plug + 1));
        }
    } else {
        argv.push_back("--device");
        argv.push_back(job.node);
    }
    if (job.stage == Job::Stage::Query) {
        argv.push_back("info");
    } else {
        argv.push_back("download");
        argv.push_back("--");
        argv.push_back(snapshot_.worker_path());
    }
    job.result.reset();
    ++job.attempts;
    job.phase = job.stage == Job::Stage::Query ? "Query" : "Starting";
    job.percent = -1;

    std::string error;
    job.worker = start_worker_process(argv, executable_, snapshot_, error);
    if (!job.worker) {
        station_fault(job, error);
        return false;
    }
    job.deadline = SteadyClock::now() + worker_deadline_;
    job.cut = Job::Cut::None;
    job.kill_at.reset();
    display_.event(json_text({{"event", "started"},
                              {"node", job.node},
                              {"stage", job.stage == Job::Stage::Query ? "query" : "download"},
                              {"pid", job.worker->pid()}}));
    return true;
}

void Station::on_line(Job& job, const std::string& line) {
    auto event = parse_json_object(line);
    if (!event) return;
    if (job.stage == Job::Stage::Query) {
        // info prints one object, without an event name.
        if (event->contains("ok")) {
            job.answered = json_flag(*event, "ok") == true;
            job.serial = json_string(*event, "serial");
            job.product_id = json_string(*event, "product_id");
            job.result = std::move(event);
        }
        return;
    }
    const std::string kind = json_string(*event, "event");
    if (kind == "device") {
        job.answered = true;
        job.serial = json_string(*event, "serial");
        job.product_id = json_string(*event, "product_id");
        display_.event(json_text({{"event", "device"},
                                  {"node", job.node},
                                  {"serial", job.serial},
                                  {"product_id", job.product_id},
                                  {"capacity", json_number(*event, "capacity").value_or(0)}}));
    } else if (kind == "phase" || kind == "progress") {
        job.phase = json_string(*event, kind == "phase" ? "text" : "phase");
        job.percent = static_cast<int>(json_number(*event, "percent").value_or(-1));
        Json json = {{"event", "progress"},
                     {"node", job.node},
                     {"serial", job.serial},
                     {"phase", job.phase}};
        if (job.percent >= 0) json["percent"] = job.percent;
        display_.event(json_text(json));
        if (display_.mode() == StationDisplay::Mode::Lines && kind == "phase") {
            display_.note(label(job) + "  " + printable(job.phase));
        }
    } else if (kind == "result") {
        job.result = std::move(event);
    }
}

void Station::on_worker_end(Job& job) {
    WorkerProcess& worker = *job.worker;
    const WorkerEnd end = worker_end(worker);
    const bool exited = end.exited;
    const int code = end.code;
    std::string message;
    if (!exited) {
        message = end.why;
    } else if (job.result && job.result->contains("message")) {
        message = json_string(*job.result, "message");
    } else if (job.result && job.result->contains("error")) {
        message = json_string(*job.result, "error");
    } else if (!worker.first_err_line().empty()) {
        message = worker.first_err_line();
    } else {
        message = "The worker ended without a result";
    }
    const bool ok = exited && code == 0 && job.result && json_flag(*job.result, "ok") == true;

    // The station gave its worker a command line it refuses: no device is to blame.
    if (exited && code == to_int(ExitCode::Usage)) {
        station_fault(job, message);
        return;
    }

    const bool unanswered =
        !ok && exited && code == exit_code_for_status(DialogueStatus::TimedOut) && !job.answered;
    // Once stopping, a board still at its query, or one that never answered and so has had
    // nothing written, is let go untouched: neither flashed nor asked again nor failed.
    if (stopping_ && (job.stage == Job::Stage::Query || unanswered)) {
        skip(job, StoppingReason);
        return;
    }
    if (!ok && job.cut != Job::Cut::None) {
        finish(
            job, false,
            job.cut == Job::Cut::TimedOut ? "worker timed out" : "worker stopped by the operator",
            to_int(ExitCode::WorkerCut));
        return;
    }
    if (unanswered && job.attempts < QueryAttempts) {
        job.worker.reset();
        job.retry_at = SteadyClock::now() + QueryRetryDelay;
        job.phase = "No answer yet, asking again";
        job.percent = -1;
        if (display_.mode() == StationDisplay::Mode::Lines) {
            display_.note(label(job) + "  " + job.phase);
        }
        return;
    }
    // Another Vellox program is flashing this board. The worker sent it nothing: that is no
    // failed flash, and the operator must hear who has the board.
    if (exited && code == to_int(ExitCode::DeviceBusy)) {
        ++held_;
        display_.event(json_text(
            {{"event", "held"}, {"node", job.node}, {"message", message}, {"exit_code", code}}));
        display_.result(label(job) + ": held by another program, not flashed");
        release(job);
        return;
    }
    if (job.stage == Job::Stage::Query) {
        if (!ok) {
            finish(job, false, message, code);
            return;
        }
        std::string error;
        if (log_ && !log_->refresh(error)) {
            stop_on_log_fault(error);
            skip(job, "the log cannot be read");
            return;
        }
        if (log_ && log_->index().succeeded(job.serial)) {
            skip(job, "already flashed");
            return;
        }
        job.stage = Job::Stage::Download;
        job.attempts = 0;
        job.worker.reset();
        start_worker(job);
        return;
    }
    finish(job, ok, ok ? "Download OK!" : message, code);
}

void Station::sweep() {
    const auto now = SteadyClock::now();
    for (const auto& job : jobs_) {
        if (!job->retry_at || *job->retry_at > now) continue;
        job->retry_at.reset();
        // Stopping takes no new devices; one that never answered is not started again.
        if (stopping_) {
            skip(*job, StoppingReason);
        } else {
            start_worker(*job);
        }
    }
    std::erase_if(jobs_, [](const auto& job) { return job->instance_id.empty(); });
    plug_due_devices();
    take_new_devices();
    std::erase_if(jobs_, [](const auto& job) { return job->instance_id.empty(); });
}

void Station::finish(Job& job, bool ok, const std::string& message, int exit_code) {
    const auto end_wall = WallClock::now();
    const auto duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - job.start);
    const Json record = {{"start", utc_time(job.start_wall)},
                         {"end", utc_time(end_wall)},
                         {"node", job.node},
                         {"serial", job.serial},
                         {"product_id", job.product_id},
                         {"image", image_.path},
                         {"image_size", image_.size},
                         {"image_sha256", image_.sha256},
                         {"ok", ok},
                         {"message", message},
                         {"exit_code", exit_code},
                         {"duration_ms", duration.count()},
                         {"attempts", job.attempts},
                         {"host", host_},
                         {"pid", station_process_id()}};

    // On the disk before anyone is told the device is done. A record that did not reach it
    // (a full disk) is said with the outcome, and the station stops.
    bool logged = true;
    if (log_) {
        std::string error;
        if (!log_->append(json_text(record), error)) {
            logged = false;
            stop_on_log_fault(error);
        }
    }
    ok ? ++succeeded_ : ++failed_;
    Json done = {{"event", "done"}};
    if (!logged) done["logged"] = false;
    done.update(record);
    display_.event(json_text(done));
    display_.result(label(job) + ": " + (ok ? std::string("OK") : printable(message)) +
                    (logged ? "" : " (not logged)"));
    release(job);
}

void Station::skip(Job& job, const std::string& why) {
    ++skipped_;
    display_.event(json_text(
        {{"event", "skipped"}, {"node", job.node}, {"serial", job.serial}, {"reason", why}}));
    display_.result(label(job) + ": " + why + ", skipped");
    release(job);
}

void Station::stop_on_log_fault(const std::string& error) {
    log_failed_ = true;
    stopping_ = true;
    display_.note("vellox-cli: " + error + "; no new devices are taken");
}

void Station::release(Job& job) {
    job.worker.reset();
    job.stage = Job::Stage::Download;
    job.phase.clear();
    // The emulated operator takes the device off the bench.
    if (auto it = plugged_.find(job.instance_id); it != plugged_.end()) {
        it->second->unplug();
        devices_in_use_.erase(simulation_->device_of_plug(plug_of_[job.instance_id]));
        plug_of_.erase(job.instance_id);
        plugged_.erase(it);
    }
    job.instance_id.clear();  // marks the job as over
}

void Station::on_signals(int count, bool ending) {
    if (count <= 0) return;
    if (ending) kill_grace_ = std::chrono::seconds(0);
    signals_ += count;
    std::size_t running = 0;
    for (const auto& job : jobs_) running += job->worker ? 1 : 0;
    const std::string left =
        std::to_string(running) + " running download" + (running == 1 ? "" : "s");
    if (signals_ >= 3) {
        display_.note("Stopping " + left + " now; each is logged as stopped.");
        stopping_ = true;
        for (const auto& job : jobs_) {
            if (job->worker && !job->worker->reaped() && job->cut == Job::Cut::None) {
                cut(*job, Job::Cut::Operator);
            }
        }
    } else if (!stopping_) {
        stopping_ = true;
        display_.note("Stopping: no new devices are taken; " + left + " may finish.");
    } else {
        display_.note("Still waiting for " + left + "; a third Ctrl-C stops them.");
    }
}

void Station::cut(Job& job, Job::Cut why) {
    job.cut = why;
    job.kill_at = SteadyClock::now() + kill_grace_;
    job.worker->terminate();
}

void Station::check_deadlines() {
    const auto now = SteadyClock::now();
    for (const auto& job : jobs_) {
        if (!job->worker || job->worker->reaped()) continue;
        if (job->cut == Job::Cut::None && now >= job->deadline) cut(*job, Job::Cut::TimedOut);
        if (job->kill_at && now >= *job->kill_at) {
            job->worker->kill();
            job->kill_at.reset();
        }
    }
}

void Station::station_fault(Job& job, const std::string& error) {
    station_failed_ = true;
    stopping_ = true;
    display_.note("vellox-cli: the station cannot run its workers: " + printable(error) +
                  "; no new devices are taken");
    skip(job, "not flashed, a fault of the station");
}

void Station::redraw() {
    if (display_.mode() != StationDisplay::Mode::Terminal) return;
    std::vector<std::string> lines;
    for (const auto& job : jobs_) {
        std::string line = label(*job) + "  " + printable(job->phase);
        if (job->percent >= 0) line += " " + std::to_string(job->percent) + "%";
        lines.push_back(std::move(line));
    }
    lines.push_back(std::to_string(succeeded_) + " OK, " + std::to_string(failed_) + " failed" +
                    (stopping_ ? ", stopping" : ""));
    display_.set_active(std::move(lines));
}

int Station::run() {
    StopRequests signals;
    if (display_.mode() != StationDisplay::Mode::Json) {
        display_.note("Station: " + printable(image_.path) + ", " + std::to_string(image_.size) +
                      " bytes, product " + printable(image_.product_id) + ", SHA-256 " +
                      image_.sha256);
        display_.note("Waiting for devices; Ctrl-C stops taking new ones.");
    }
    if (log_ && log_->index().skipped() > 0) {
        const std::size_t n = log_->index().skipped();
        display_.note("The log " + printable(utf8(log_->path())) + ": " +
                      (log_->index().records() == 0 ? "no readable record; " : "") +
                      std::to_string(n) + (n == 1 ? " line" : " lines") +
                      " skipped (torn or not a record)");
    }
    report_denied_nodes();
    sweep();

    while (!done()) {
        redraw();
        std::vector<WorkerProcess*> workers;
        for (const auto& job : jobs_) {
            if (job->worker) workers.push_back(job->worker.get());
        }
        const StationWake wake =
            wait_for_station(signals, platform_->device_change_waitable(), workers, poll_timeout());
        if (wake.failed) {
            display_.note("vellox-cli: " + wake.error);
            break;
        }
        if (wake.stop_requested) on_signals(signals.take(), signals.ending());
        if (wake.device_change && platform_->take_device_change()) {
            controller_->DeviceChange();
            report_denied_nodes();
        }
        // Every worker is read: none of these reads waits.
        for (std::size_t i = 0; i < jobs_.size(); ++i) {
            Job& job = *jobs_[i];
            if (!job.worker) continue;
            for (const std::string& line : job.worker->read_out()) on_line(job, line);
            if (job.worker) job.worker->read_err();
            // Never waits: a worker that closed its output may still run for a while.
            if (job.worker && job.worker->output_ended() && job.worker->try_reap()) {
                on_worker_end(job);
            }
        }
        check_deadlines();
        sweep();
    }

    display_.set_active({});
    const int code = log_failed_ || station_failed_ ? to_int(ExitCode::Failure)
                     : failed_ > 0                  ? to_int(ExitCode::DeviceFailed)
                                                    : to_int(ExitCode::Ok);
    display_.event(json_text({{"event", "summary"},
                              {"succeeded", succeeded_},
                              {"failed", failed_},
                              {"skipped", skipped_},
                              {"held", held_},
                              {"exit_code", code}}));
    display_.result(std::to_string(succeeded_) + " OK, " + std::to_string(failed_) + " failed" +
                    (skipped_ > 0 ? ", " + std::to_string(skipped_) + " skipped" : "") +
                    (held_ > 0 ? ", " + std::to_string(held_) + " held by another program" : ""));
    return code;
}

}  // namespace

int run_station(const CliOptions& options, const CliStreams& io, const std::string& program) {
    auto usage = [&io](const std::string& message) {
        io.err << "vellox-cli: " << message << '\n' << usage_text() << std::flush;
        return to_int(ExitCode::Usage);
    };
    std::optional<StationSimulation> simulation;
    if (options.station_simulate) {
        ParsedStationSimulation parsed = parse_station_simulation(*options.station_simulate);
        if (!parsed.simulation) return usage("bad --simulate settings: " + parsed.error);
        simulation = std::move(parsed.simulation);
    }
    std::string error;
    std::vector<std::uint8_t> bytes;
    auto image = check_image(options.image, bytes, error);
    if (!image) return usage(error);
    if (program.empty()) {
        io.err << "vellox-cli: station runs its workers from the vellox-cli program\n";
        return to_int(ExitCode::Failure);
    }
    auto snapshot = ImageSnapshot::write(bytes, error);
    if (!snapshot) {
        io.err << "vellox-cli: " << error << '\n' << std::flush;
        return to_int(ExitCode::Failure);
    }
    std::optional<StationLog> log;
    if (options.log) {
        // Before any device is taken: a log that cannot be trusted is a fault of the bench.
        log = StationLog::open(path_from_utf8(*options.log), error);
        if (!log) {
            io.err << "vellox-cli: " << error << '\n' << std::flush;
            return to_int(ExitCode::Failure);
        }
    }
    try {
        Station station(options, io, program, std::move(*image), std::move(*snapshot),
                        std::move(simulation), std::move(log));
        return station.run();
    } catch (const std::exception& failure) {
        io.err << "vellox-cli: " << failure.what() << '\n' << std::flush;
        return to_int(ExitCode::Failure);
    }
}

}  // namespace vellox::cli
