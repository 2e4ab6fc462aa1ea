#pragma once
// The one failure class of the HID layer: raised only when a device record or a second
// controller cannot be created. Everything else reports failure by its result.

#include <stdexcept>
#include <string>

class EControllerError : public std::runtime_error {
  public:
    explicit EControllerError(const std::string& message) : std::runtime_error(message) {}
};
