#include "cli/WatchedHidPlatform.h"

namespace vellox::cli {
namespace {

class CountingHidHandle : public HidHandle {
  public:
    CountingHidHandle(std::unique_ptr<HidHandle> inner, std::uint64_t& writes)
        : inner_(std::move(inner)), writes_(writes) {}

    bool get_attributes(HidAttributes& attributes) override {
        return inner_->get_attributes(attributes);
    }
    std::optional<HidPreparsedData> get_preparsed_data() override {
        return inner_->get_preparsed_data();
    }
    bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override {
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
    std::uint64_t& writes_;
};

}  // namespace

std::unique_ptr<HidHandle> WatchedHidPlatform::open(const std::string& path, HidOpenMode mode) {
    std::unique_ptr<HidHandle> handle = inner_.open(path, mode);
    if (!handle) return nullptr;
    return std::make_unique<CountingHidHandle>(std::move(handle), writes_);
}

}  // namespace vellox::cli
