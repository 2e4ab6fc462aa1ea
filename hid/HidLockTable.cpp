#include "hid/HidLockTable.h"

namespace {

class TableLock : public HidDeviceLock {
  public:
    TableLock(std::shared_ptr<HidLockTable::State> state, std::string path, HidLockMode mode)
        : state_(std::move(state)), path_(std::move(path)), mode_(mode) {}
    ~TableLock() override {
        std::lock_guard lock(state_->mutex);
        auto it = state_->paths.find(path_);
        if (it == state_->paths.end()) return;
        if (mode_ == HidLockMode::Exclusive) {
            it->second.exclusive = false;
        } else {
            --it->second.shared;
        }
        if (!it->second.exclusive && it->second.shared == 0) state_->paths.erase(it);
    }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

  private:
    std::shared_ptr<HidLockTable::State> state_;
    std::string path_;
    HidLockMode mode_;
};

}  // namespace

HidLockTable::HidLockTable() : state_(std::make_shared<State>()) {}

std::unique_ptr<HidDeviceLock> HidLockTable::try_lock(const std::string& path, HidLockMode mode,
                                                      HidLockResult& result) {
    std::lock_guard lock(state_->mutex);
    Holders& holders = state_->paths[path];
    if (holders.exclusive) {
        result = HidLockResult::HeldExclusive;
    } else if (mode == HidLockMode::Exclusive && holders.shared > 0) {
        result = HidLockResult::HeldShared;
    } else {
        result = HidLockResult::Acquired;
        if (mode == HidLockMode::Exclusive) {
            holders.exclusive = true;
        } else {
            ++holders.shared;
        }
        return std::make_unique<TableLock>(state_, path, mode);
    }
    return nullptr;
}
