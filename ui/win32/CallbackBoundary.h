#pragma once
// The edge between the system's frames and ours. A C++ exception cannot pass through the
// system's frames in the 32-bit build (it unwinds by DWARF tables, which those frames lack):
// one that reaches a window procedure or callback would end the program with no message.
// Each such entry runs its work through CatchAtBoundary, which tells the error to the sink.

#include <functional>
#include <string>

namespace vellox::win32 {

// Where an error caught at a boundary is told; the main window sets its error box here. With
// none set, a plain system message box.
void SetBoundaryErrorSink(std::function<void(const std::string&)> sink);

// Inside a catch block: tells the exception being handled to the sink.
void ReportBoundaryError() noexcept;

template <typename Result, typename Work>
Result CatchAtBoundary(Result fallback, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        ReportBoundaryError();
        return fallback;
    }
}

// The one-line text for the exception being handled.
std::string BoundaryErrorText() noexcept;

}  // namespace vellox::win32
