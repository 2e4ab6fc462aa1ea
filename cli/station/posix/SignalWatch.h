#pragma once
// SIGINT, SIGTERM and SIGHUP become bytes on a pipe that the station's loop polls; SIGPIPE is
// ignored (a worker's pipe closing is read as its end), and so is SIGXFSZ (a failed write). The old
// dispositions come back at the end. One at a time per process.

#include <csignal>

#include "hid/UniqueFd.h"

namespace vellox::cli {

class SignalWatch {
  public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    int fd() const { return read_.get(); }
    // How many signals arrived since the last call.
    int take();
    // No signal here means the process is about to be ended by the system.
    bool ending() const { return false; }

  private:
    UniqueFd read_;
    UniqueFd write_;
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
    struct sigaction old_hup_ {};
    struct sigaction old_pipe_ {};
    struct sigaction old_xfsz_ {};
};

}  // namespace vellox::cli
