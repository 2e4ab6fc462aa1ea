#include "cli/ReportTrace.h"

#include <algorithm>

#include "dialogue/DeviceDialogue.h"
#include "dialogue/Report.h"

namespace vellox::cli {
namespace {

class TracingHidHandle : public HidHandle {
  public:
    TracingHidHandle(std::unique_ptr<HidHandle> inner, const TraceSink& sink, std::uint64_t& writes)
        : inner_(std::move(inner)), sink_(sink), writes_(writes) {}

    bool get_attributes(HidAttributes& attributes) override {
        return inner_->get_attributes(attributes);
    }
    std::optional<HidPreparsedData> get_preparsed_data() override {
        return inner_->get_preparsed_data();
    }
    bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override {
        // Traced before the write, whether or not it succeeds, as send_report does.
        if (sink_ && !report.empty()) {
            sink_(" ");
            sink_("out->:" +
                  hex_bytes(report.subspan(1, std::min(report.size() - 1, ReplyDataLength))));
        }
        ++writes_;
        return inner_->write(report, written);
    }
    bool start_read(std::span<std::uint8_t> buffer) override { return inner_->start_read(buffer); }
    HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override {
        return inner_->wait_read(timeout, waker);
    }
    bool read_result(std::uint32_t& bytes) override { return inner_->read_result(bytes); }
    bool cancel_read() override { return inner_->cancel_read(); }
    std::uint32_t input_queue_capacity() const override { return inner_->input_queue_capacity(); }

  private:
    std::unique_ptr<HidHandle> inner_;
    const TraceSink& sink_;
    std::uint64_t& writes_;
};

}  // namespace

std::unique_ptr<HidHandle> WatchedHidPlatform::open(const std::string& path, HidOpenMode mode) {
    std::unique_ptr<HidHandle> handle = inner_.open(path, mode);
    if (!handle) return nullptr;
    return std::make_unique<TracingHidHandle>(std::move(handle), sink_, writes_);
}

void ReplyTraceTap::reattach() {
    THidDevice* device = dialogue_.SelectedDevice;
    if (device == nullptr) return;
    const auto engine = THidDataEvent::bind<&DeviceDialogue::HidDevData>(&dialogue_);
    if (device->DataEvent() == engine) device->SetDataEvent(THidDataEvent::bind(this));
}

void ReplyTraceTap::operator()(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                               std::uint16_t Size) {
    // InReport keeps at most this many data bytes; the engine traces what it kept.
    const std::size_t kept = std::min<std::size_t>(Size, ReportBufferCapacity - 1);
    sink_("IN<-  " + hex_bytes(std::span(Data, kept)));
    dialogue_.HidDevData(HidDev, ReportID, Data, Size);
}

}  // namespace vellox::cli
