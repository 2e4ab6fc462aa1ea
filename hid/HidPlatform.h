#pragma once
// What the HID layer needs from the operating system, and nothing more. Backends: the Linux
// one (hidraw + sysfs) in hid/linux/, the virtual one in sim/ for tests and the demo.
//
// Threads: scan(), open() in the query and read-write modes, write() and the device-change
// calls run on the user-interface thread. A record opens its HidOpenMode::Read handle there
// before it starts its reading thread, which is then the only thread that uses it
// (start_read, wait_read, read_result, cancel_read); HidWaker::wake() may be called from any
// thread.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hid/HidChangeSignal.h"
#include "hid/HidTypes.h"
#include "hid/THidPnPInfo.h"

// Each byte as the Latin-1 character of its value, in UTF-8.
std::string latin1_to_utf8(std::string_view bytes);

enum class HidOpenMode {
    ReadWrite,  // queries, writes and reads
    QueryOnly,  // attributes and capabilities only; succeeds where a program holds the device
    Read,       // input reports, for the reading thread
};

enum class HidWaitResult {
    Completed,  // the outstanding read finished (successfully or not): fetch its result
    TimedOut,   // the wait bound passed
    Woken,      // HidWaker::wake() was called
};

// Cuts a reading thread's wait short from another thread (stopping it, or closing its handle).
class HidWaker {
  public:
    virtual ~HidWaker() = default;
    virtual void wake() = 0;
};

// One open interface. Closing is destruction; destruction ends an outstanding read.
class HidHandle {
  public:
    virtual ~HidHandle() = default;

    // Vendor, product and version numbers; false when the handle is not a HID interface.
    virtual bool get_attributes(HidAttributes& attributes) = 0;
    // The parsed report descriptor; empty when the descriptor cannot be had.
    virtual std::optional<HidPreparsedData> get_preparsed_data() = 0;
    // Writes one whole output report (byte 0 the report ID) and blocks until it is taken, or
    // fails when the device has not taken it within a few seconds (Windows).
    virtual bool write(std::span<const std::uint8_t> report, std::uint32_t& written) = 0;

    // One outstanding read into `buffer`, which must stay valid until the read completes or
    // is cancelled. The first byte received is always the report ID (0 for a device without
    // numbered reports). False when the read cannot start (see last_error()).
    virtual bool start_read(std::span<std::uint8_t> buffer) = 0;
    // Waits at most `timeout` for the outstanding read; `waker` may cut the wait short.
    virtual HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) = 0;
    // Byte count of the completed read, report ID included; false when the read failed.
    virtual bool read_result(std::uint32_t& bytes) = 0;
    // Abandons the outstanding read; false when there was none.
    virtual bool cancel_read() = 0;
    // Input reports the handle keeps unread before newer ones are lost.
    virtual std::uint32_t input_queue_capacity() const = 0;
};

// The per-device lock that keeps two Vellox programs from talking to one device at once: a
// download holds it exclusively from its first report to its last reply, an information query
// holds it shared. It binds only programs that ask for it, and the system releases it when its
// holder dies.
enum class HidLockMode { Shared, Exclusive };

enum class HidLockResult {
    Acquired,
    HeldShared,     // an exclusive attempt found others holding it shared (queries, brief)
    HeldExclusive,  // another holder has it exclusively (a download)
    Failed,         // the lock cannot be had at all (node gone, no rights); see last_error()
};

// A held device lock; destruction releases it.
class HidDeviceLock {
  public:
    virtual ~HidDeviceLock() = default;
};

class HidPlatform {
  public:
    virtual ~HidPlatform() = default;

    // False when the platform's HID service cannot be used: the controller then lists no
    // devices and follows no device changes, silently.
    virtual bool available() const = 0;
    // Why not, in one line for the user (which library, the system's error); empty when the
    // platform has nothing to say.
    virtual std::string unavailable_reason() const { return {}; }

    // The HID interfaces present now, in the platform's order. Interfaces whose details cannot
    // be read are left out.
    virtual std::vector<THidPnPInfo> scan() = 0;

    // Opens a device path; null on failure (see last_error()).
    virtual std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) = 0;

    // A waker for one reading thread.
    virtual std::unique_ptr<HidWaker> make_waker() = 0;

    // The error code of the failed call just made on this thread (errno values on Linux).
    virtual std::uint32_t last_error() const;
    // Whether a last_error() value says the interface is gone, so that a handle to it is dead.
    virtual bool is_gone_error(std::uint32_t error) const;
    // This platform's own code for "the interface is not there".
    virtual std::uint32_t gone_error() const;
    // A text field the device sent, in single-byte characters, as UTF-8 to show: Latin-1 (see
    // latin1_to_utf8), on Windows the ANSI code page.
    virtual std::string device_text(std::string_view bytes) const { return latin1_to_utf8(bytes); }
    // Whether two device paths name the same interface (Windows compares them ignoring case).
    virtual bool same_device_path(const std::string& a, const std::string& b) const {
        return a == b;
    }

    // Interfaces of this vendor and product that the system has but this user may not open, so
    // that a program can tell "no device" from "no permission". Empty where the system has no
    // such case (Windows opens any HID interface shared; the virtual backend).
    virtual std::vector<std::string> denied_paths(std::uint16_t, std::uint16_t) const { return {}; }
    // Whether opening `path` for reading and writing is refused to this user.
    virtual bool access_denied(const std::string&) const { return false; }
    // What the user can do about a refused interface, in one line.
    virtual std::string access_advice(const std::string& path) const {
        return "No access to " + path;
    }

    // What becomes signalled when HID interfaces may have come or gone, for the host's loop to
    // wait on (see hid_wait_signalled); NoHidWaitable when the platform offers none.
    virtual HidWaitable device_change_waitable() const { return NoHidWaitable; }
    // Consumes what signalled device_change_waitable(); true when a rescan is due.
    virtual bool take_device_change() { return false; }

    // Tries, without waiting, to take the lock of the interface at `path`. Null unless
    // `result` is Acquired. A platform without such a lock grants every request.
    virtual std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                                    HidLockResult& result);
};

// Thread-local error code shared by the backends (the platform's "last error").
void hid_set_last_error(std::uint32_t code);
std::uint32_t hid_last_error();
