#include "sim/VirtualClock.h"

#include <algorithm>

namespace sim {

void VirtualClock::advance_to(Clock::time_point when) {
    Clock::rep seen = now_.load();
    while (when.time_since_epoch().count() > seen &&
           !now_.compare_exchange_weak(seen, when.time_since_epoch().count())) {
    }
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty() || calls_.front().when > now()) break;
            call = std::move(calls_.front().call);
            calls_.erase(calls_.begin());
        }
        call();
    }
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : listeners_) listeners.push_back(entry.second);
    }
    for (const auto& listener : listeners) listener();
}

void VirtualClock::call_at(Clock::time_point when, std::function<void()> call) {
    std::lock_guard lock(mutex_);
    const auto place = std::upper_bound(calls_.begin(), calls_.end(), when,
                                        [](auto time, const Call& c) { return time < c.when; });
    calls_.insert(place, Call{when, std::move(call)});
}

std::optional<Clock::time_point> VirtualClock::next_call() const {
    std::lock_guard lock(mutex_);
    if (calls_.empty()) return std::nullopt;
    return calls_.front().when;
}

std::shared_ptr<void> VirtualClock::listen(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = next_listener_++;
    listeners_.emplace_back(id, std::move(listener));
    return std::shared_ptr<void>(nullptr, [this, id](void*) {
        std::lock_guard lock(mutex_);
        std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
    });
}

}  // namespace sim
