#include "hid/windows/WindowsHidHandle.h"

#include <algorithm>

#include "hid/windows/WinHidLibrary.h"

static_assert(sizeof(HidAttributes) == 12, "laid out as HIDD_ATTRIBUTES");

bool is_device_gone_error(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_NOT_CONNECTED:  // 1167, the HID class driver after an unplug
        case ERROR_DEV_NOT_EXIST:         // 55
        case ERROR_BAD_COMMAND:           // 22
        case ERROR_INVALID_HANDLE:        // 6
        case ERROR_BROKEN_PIPE:           // 109, a pipe whose server went away
        case ERROR_PIPE_NOT_CONNECTED:    // 233
        case ERROR_NO_DATA:               // 232
            return true;
        default:
            return false;
    }
}

WindowsHidWaker::WindowsHidWaker() : event_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

WindowsHidWaker::~WindowsHidWaker() {
    if (event_ != nullptr) ::CloseHandle(event_);
}

void WindowsHidWaker::wake() {
    if (event_ != nullptr) ::SetEvent(event_);
}

WindowsHidHandle::WindowsHidHandle(const WinHidLibrary& library, HANDLE handle,
                                   std::uint32_t input_buffers)
    : library_(library), handle_(handle), input_buffers_(input_buffers) {
    overlapped_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    write_event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WindowsHidHandle::~WindowsHidHandle() {
    cancel_read();
    ::CloseHandle(handle_);
    if (overlapped_.hEvent != nullptr) ::CloseHandle(overlapped_.hEvent);
    if (write_event_ != nullptr) ::CloseHandle(write_event_);
}

bool WindowsHidHandle::get_attributes(HidAttributes& attributes) {
    attributes = HidAttributes{};
    attributes.Size = sizeof attributes;
    if (library_.HidD_GetAttributes(handle_, &attributes)) return true;
    hid_set_last_error(::GetLastError());
    return false;
}

std::optional<HidPreparsedData> WindowsHidHandle::get_preparsed_data() {
    void* preparsed = nullptr;
    if (!library_.HidD_GetPreparsedData(handle_, &preparsed)) {
        hid_set_last_error(::GetLastError());
        return std::nullopt;
    }
    HidPreparsedData data;
    const LONG status = library_.HidP_GetCaps(preparsed, &data.Caps);
    library_.HidD_FreePreparsedData(preparsed);
    if (status != HidPStatusSuccess) {
        hid_set_last_error(ERROR_INVALID_DATA);
        return std::nullopt;
    }
    // Every read carries the report ID byte on Windows, numbered or not.
    data.NumberedReports = true;
    return data;
}

bool WindowsHidHandle::write(std::span<const std::uint8_t> report, std::uint32_t& written) {
    written = 0;
    if (write_event_ == nullptr) {
        hid_set_last_error(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // A device that stops taking output reports holds an interrupt write for ever: the write is
    // bounded, so that the caller (the user-interface thread) gets a failure instead of a hang.
    OVERLAPPED overlapped{};
    overlapped.hEvent = write_event_;
    ::ResetEvent(write_event_);
    DWORD n = 0;
    if (!::WriteFile(handle_, report.data(), static_cast<DWORD>(report.size()), nullptr,
                     &overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            hid_set_last_error(error);
            return false;
        }
        if (::WaitForSingleObject(write_event_, WriteBoundMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(handle_, &overlapped);
            // The report buffer and the OVERLAPPED are ours: the write must be over first. It
            // may still have completed just before the cancel.
            if (::GetOverlappedResult(handle_, &overlapped, &n, TRUE)) {
                written = n;
                return true;
            }
            const DWORD late = ::GetLastError();
            hid_set_last_error(late == ERROR_OPERATION_ABORTED ? ERROR_TIMEOUT : late);
            return false;
        }
    }
    if (!::GetOverlappedResult(handle_, &overlapped, &n, FALSE)) {
        hid_set_last_error(::GetLastError());
        return false;
    }
    written = n;
    return true;
}

void WindowsHidHandle::fail(DWORD error) {
    if (is_device_gone_error(error)) gone_ = true;
    pending_ = false;
    result_ok_ = false;
    hid_set_last_error(error);
}

bool WindowsHidHandle::start_read(std::span<std::uint8_t> buffer) {
    if (gone_) {
        // A dead handle is not read again: the caller learns at once, with no system call.
        hid_set_last_error(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    if (pending_) {
        hid_set_last_error(ERROR_BUSY);
        return false;
    }
    if (!input_length_) {
        // One report per read: a longer read on a stream-like link could join two reports.
        const auto data = get_preparsed_data();
        input_length_ = data ? data->Caps.InputReportByteLength : 0;
    }
    const std::size_t length =
        *input_length_ == 0 ? buffer.size() : std::min<std::size_t>(buffer.size(), *input_length_);
    ::ResetEvent(overlapped_.hEvent);
    pending_ = true;
    result_ok_ = false;
    bytes_ = 0;
    if (!::ReadFile(handle_, buffer.data(), static_cast<DWORD>(length), nullptr, &overlapped_)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            fail(error);
            return false;
        }
    }
    return true;
}

void WindowsHidHandle::complete() {
    DWORD n = 0;
    if (!::GetOverlappedResult(handle_, &overlapped_, &n, FALSE)) {
        fail(::GetLastError());
        return;
    }
    pending_ = false;
    result_ok_ = true;
    bytes_ = n;
}

HidWaitResult WindowsHidHandle::wait_read(std::chrono::milliseconds timeout, HidWaker& waker) {
    if (!pending_) return HidWaitResult::Completed;
    auto* own = dynamic_cast<WindowsHidWaker*>(&waker);
    HANDLE events[2] = {overlapped_.hEvent, own != nullptr ? own->event() : nullptr};
    const DWORD count = events[1] != nullptr ? 2 : 1;
    const auto ms = static_cast<DWORD>(std::clamp<std::int64_t>(timeout.count(), 0, INFINITE - 1));
    const DWORD r = ::WaitForMultipleObjects(count, events, FALSE, ms);
    if (r == WAIT_OBJECT_0) {
        complete();
        return HidWaitResult::Completed;
    }
    if (r == WAIT_OBJECT_0 + 1) return HidWaitResult::Woken;
    if (r == WAIT_TIMEOUT) return HidWaitResult::TimedOut;
    // The wait itself failed: end the read rather than have the reading thread spin on it.
    ::CancelIoEx(handle_, &overlapped_);
    DWORD n = 0;
    ::GetOverlappedResult(handle_, &overlapped_, &n, TRUE);
    fail(::GetLastError());
    gone_ = true;
    return HidWaitResult::Completed;
}

bool WindowsHidHandle::read_result(std::uint32_t& bytes) {
    bytes = 0;
    if (pending_ || !result_ok_) return false;
    bytes = bytes_;
    return true;
}

bool WindowsHidHandle::cancel_read() {
    if (!pending_) return false;
    // CancelIo would cancel only what the calling thread started; the handle may go on
    // another thread than the one that reads through it.
    ::CancelIoEx(handle_, &overlapped_);
    // The buffer belongs to the caller: the read must be over before this returns.
    DWORD n = 0;
    ::GetOverlappedResult(handle_, &overlapped_, &n, TRUE);
    pending_ = false;
    result_ok_ = false;
    return true;
}
