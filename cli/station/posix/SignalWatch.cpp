#include "cli/station/posix/SignalWatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vellox::cli {
namespace {

int signal_pipe_write = -1;

extern "C" void station_signal_handler(int signo) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const auto n = ::write(signal_pipe_write, &byte, 1);
    errno = saved;
}

}  // namespace

SignalWatch::SignalWatch() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        read_ = UniqueFd(fds[0]);
        write_ = UniqueFd(fds[1]);
    }
    signal_pipe_write = write_.get();
    struct sigaction action {};
    action.sa_handler = station_signal_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &old_int_);
    ::sigaction(SIGTERM, &action, &old_term_);
    // A closed terminal or a lost ssh session: stop as asked, not dead with workers orphaned.
    ::sigaction(SIGHUP, &action, &old_hup_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &old_pipe_);
    // A log past the file size limit is a failed write, said and handled, not a dead station.
    ::sigaction(SIGXFSZ, &ignore, &old_xfsz_);
}

SignalWatch::~SignalWatch() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
    ::sigaction(SIGHUP, &old_hup_, nullptr);
    ::sigaction(SIGPIPE, &old_pipe_, nullptr);
    ::sigaction(SIGXFSZ, &old_xfsz_, nullptr);
    signal_pipe_write = -1;
}

int SignalWatch::take() {
    int count = 0;
    unsigned char buffer[64];
    ssize_t n;
    while ((n = ::read(read_.get(), buffer, sizeof buffer)) > 0) count += static_cast<int>(n);
    return count;
}

}  // namespace vellox::cli
