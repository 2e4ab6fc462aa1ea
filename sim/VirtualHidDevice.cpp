#include "sim/VirtualHidDevice.h"

#include <algorithm>
#include <cstdio>

#include "sim/VirtualHidHandle.h"
#include "sim/VirtualHidState.h"

namespace sim {

VirtualHidDevice::VirtualHidDevice(std::shared_ptr<VirtualHidState> state, VirtualDeviceSetup setup,
                                   std::shared_ptr<DeviceModel> model, std::uint32_t number)
    : state_(std::move(state)),
      setup_(std::move(setup)),
      model_(std::move(model)),
      number_(number) {
    char id[32];
    std::snprintf(id, sizeof id, "0003:%04X:%04X.%04X", setup_.vendor, setup_.product, number_);
    instance_id_ = id;
    path_ = "virtual:hidraw" + std::to_string(number_);
}

VirtualHidDevice::~VirtualHidDevice() = default;

bool VirtualHidDevice::plugged() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return plugged_;
}

void VirtualHidDevice::send_input(std::span<const std::uint8_t> data, Clock::time_point due) {
    // A device without numbered reports: the host sees a 0 report-ID byte first.
    Queued item;
    item.bytes.reserve(data.size() + 1);
    item.bytes.push_back(0);
    item.bytes.insert(item.bytes.end(), data.begin(), data.end());
    item.due = due;
    std::lock_guard<std::mutex> lock(state_->mutex);
    enqueue_locked(std::move(item));
}

void VirtualHidDevice::send_input(std::span<const std::uint8_t> data) {
    send_input(data, state_->now());
}

void VirtualHidDevice::queue_raw_read(std::span<const std::uint8_t> bytes, Clock::time_point due) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    enqueue_locked(Queued{std::vector<std::uint8_t>(bytes.begin(), bytes.end()), due});
}

void VirtualHidDevice::enqueue_locked(Queued item) {
    if (!plugged_) return;
    in_device_.push_back(std::move(item));
    promote_locked(state_->now());
    state_->cond.notify_all();
}

void VirtualHidDevice::promote_locked(Clock::time_point now) {
    // Nothing reads a reader's queue between two calls of this, so handing over everything
    // due by now at once gives each queue the length it had when each report arrived.
    while (!in_device_.empty() && in_device_.front().due <= now) {
        for (VirtualHidHandle* reader : readers_) {
            // A full queue drops the newer report, as the kernel's hidraw does.
            if (reader->queue_.size() < reader_queue_limit) {
                reader->queue_.push_back(in_device_.front());
            } else if (reader->has_read_) {
                ++dropped_;
            }
        }
        in_device_.pop_front();
    }
}

void VirtualHidDevice::unplug() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (in_write_) {
        unplug_after_write_ = true;
        return;
    }
    unplug_locked();
}

void VirtualHidDevice::unplug_locked() {
    if (!plugged_) return;
    plugged_ = false;
    in_device_.clear();
    auto& devices = state_->devices;
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [this](const auto& device) { return device.get() == this; }),
                  devices.end());
    state_->cond.notify_all();
    state_->signal_change();
}

void VirtualHidDevice::set_refuse_writes(bool refuse) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    refuse_writes_ = refuse;
}

void VirtualHidDevice::set_read_start_error(std::uint32_t error) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    read_start_error_ = error;
}

void VirtualHidDevice::set_exclusive(bool exclusive) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    setup_.exclusive = exclusive;
}

std::vector<std::vector<std::uint8_t>> VirtualHidDevice::written_reports() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return written_;
}

std::size_t VirtualHidDevice::reader_count() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return readers_.size();
}

std::size_t VirtualHidDevice::unread_reports() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    promote_locked(state_->now());
    std::size_t most = 0;
    for (const VirtualHidHandle* reader : readers_) most = std::max(most, reader->queue_.size());
    return most;
}

std::uint64_t VirtualHidDevice::dropped_reports() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return dropped_;
}

}  // namespace sim
