#pragma once
// Device locks kept inside one process, for backends whose devices exist only there (the
// virtual backend, test fakes): each lock object stands for one holder, as an open file does
// for the system's lock. The table may go before its locks.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "hid/HidPlatform.h"

class HidLockTable {
  public:
    HidLockTable();

    // HidPlatform::try_lock's rules: any number of shared holders or one exclusive holder.
    std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                            HidLockResult& result);

    struct Holders {
        int shared = 0;
        bool exclusive = false;
    };
    struct State {
        std::mutex mutex;
        std::map<std::string, Holders> paths;
    };

  private:
    std::shared_ptr<State> state_;
};
