#pragma once
// A device model that counts the input reports another model sends, so that a test host can
// tell whether every reply sent so far has been handed over.

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "sim/DeviceModel.h"

namespace sim {

class CountingModel : public DeviceModel {
  public:
    explicit CountingModel(std::shared_ptr<DeviceModel> inner) : inner_(std::move(inner)) {}

    bool on_output_report(std::span<const std::uint8_t> data, Clock::time_point now,
                          InputSink& link) override {
        Sink sink(link, *this);
        return inner_->on_output_report(data, now, sink);
    }
    Clock::duration link_interval() const override { return inner_->link_interval(); }

    // Input reports sent so far, due or not.
    long sent() const { return sent_.load(); }
    // Input reports sent so far that are due by `now` (a link delivers them in order).
    long sent_by(Clock::time_point now) {
        std::lock_guard lock(mutex_);
        while (!not_due_.empty() && not_due_.front() <= now) {
            not_due_.pop_front();
            ++due_;
        }
        return due_;
    }

  private:
    class Sink : public InputSink {
      public:
        Sink(InputSink& inner, CountingModel& owner) : inner_(inner), owner_(owner) {}
        void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override {
            {
                std::lock_guard lock(owner_.mutex_);
                owner_.not_due_.push_back(due);
            }
            ++owner_.sent_;
            inner_.send_input(data, due);
        }
        void unplug() override { inner_.unplug(); }

      private:
        InputSink& inner_;
        CountingModel& owner_;
    };

    std::shared_ptr<DeviceModel> inner_;
    std::atomic<long> sent_{0};
    std::mutex mutex_;
    std::deque<Clock::time_point> not_due_;
    long due_ = 0;
};

}  // namespace sim
