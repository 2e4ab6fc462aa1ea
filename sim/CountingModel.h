#pragma once
// A device model that counts the input reports another model sends, so that a test host can
// tell whether every reply sent so far has been handed over.

#include <atomic>
#include <memory>
#include <utility>

#include "sim/DeviceModel.h"

namespace sim {

class CountingModel : public DeviceModel {
  public:
    explicit CountingModel(std::shared_ptr<DeviceModel> inner) : inner_(std::move(inner)) {}

    bool on_output_report(std::span<const std::uint8_t> data, Clock::time_point now,
                          InputSink& link) override {
        Sink sink(link, sent_);
        return inner_->on_output_report(data, now, sink);
    }
    Clock::duration link_interval() const override { return inner_->link_interval(); }

    // Input reports sent so far, due or not.
    long sent() const { return sent_.load(); }

  private:
    class Sink : public InputSink {
      public:
        Sink(InputSink& inner, std::atomic<long>& sent) : inner_(inner), sent_(sent) {}
        void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override {
            ++sent_;
            inner_.send_input(data, due);
        }
        void unplug() override { inner_.unplug(); }

      private:
        InputSink& inner_;
        std::atomic<long>& sent_;
    };

    std::shared_ptr<DeviceModel> inner_;
    std::atomic<long> sent_{0};
};

}  // namespace sim
