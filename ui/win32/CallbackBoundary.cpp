#include "ui/win32/CallbackBoundary.h"

#include <windows.h>

#include <exception>

#include "ui/win32/WideText.h"

namespace vellox::win32 {
namespace {

std::function<void(const std::string&)>& Sink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

}  // namespace

void SetBoundaryErrorSink(std::function<void(const std::string&)> sink) {
    Sink() = std::move(sink);
}

std::string BoundaryErrorText() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            return std::string("Unexpected error: ") + e.what();
        } catch (...) {
            return "Unexpected error";
        }
    } catch (...) {
        return {};
    }
}

void ReportBoundaryError() noexcept {
    try {
        const std::string text = BoundaryErrorText();
        if (Sink()) {
            Sink()(text);
        } else {
            ::MessageBoxW(nullptr, Widen(text).c_str(), L"Vellox", MB_OK | MB_ICONERROR);
        }
    } catch (...) {
        // The box itself failed (no memory): nothing more can be told.
    }
}

}  // namespace vellox::win32
