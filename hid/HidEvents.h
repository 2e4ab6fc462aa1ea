#pragma once
// Handlers are bound methods: an object plus a function to call on it. Two handlers have the
// same "function part" when they were bound from the same member function (or the same
// callable type), whatever object they are bound to; the controller's propagation rules
// compare exactly that.

#include <cstdint>
#include <utility>

class THidDevice;
class THidDeviceController;

template <typename Signature>
class TBoundMethod;

template <typename R, typename... Args>
class TBoundMethod<R(Args...)> {
  public:
    constexpr TBoundMethod() noexcept = default;

    // TBoundMethod<...>::bind<&TMainForm::HidDevData>(this)
    template <auto Method, typename C>
    static TBoundMethod bind(C* object) noexcept {
        TBoundMethod m;
        m.object_ = object;
        m.thunk_ = &member_thunk<Method, C>;
        m.function_ = &FunctionTag<Method>::id;
        return m;
    }

    // Binds a callable object (a lambda, for instance) that must outlive the handler. Its
    // function part is its type, so two handlers bound from the same lambda compare equal.
    template <typename F>
    static TBoundMethod bind(F* functor) noexcept {
        TBoundMethod m;
        m.object_ = functor;
        m.thunk_ = &functor_thunk<F>;
        m.function_ = &FunctorTag<F>::id;
        return m;
    }

    bool Assigned() const noexcept { return thunk_ != nullptr; }
    explicit operator bool() const noexcept { return Assigned(); }
    // True when both handlers call the same function (both unassigned counts as the same).
    bool SameFunction(const TBoundMethod& other) const noexcept {
        return function_ == other.function_;
    }
    void* Object() const noexcept { return object_; }

    R operator()(Args... args) const { return thunk_(object_, std::forward<Args>(args)...); }

    friend bool operator==(const TBoundMethod& a, const TBoundMethod& b) noexcept {
        return a.function_ == b.function_ && a.object_ == b.object_;
    }

  private:
    using Thunk = R (*)(void*, Args...);

    // Distinct static objects give every bound function a distinct, stable identity; code
    // addresses would not be reliable once the linker folds identical functions.
    template <auto Method>
    struct FunctionTag {
        static constexpr char id = 0;
    };
    template <typename F>
    struct FunctorTag {
        static constexpr char id = 0;
    };

    template <auto Method, typename C>
    static R member_thunk(void* object, Args... args) {
        return (static_cast<C*>(object)->*Method)(std::forward<Args>(args)...);
    }
    template <typename F>
    static R functor_thunk(void* object, Args... args) {
        return (*static_cast<F*>(object))(std::forward<Args>(args)...);
    }

    void* object_ = nullptr;
    Thunk thunk_ = nullptr;
    const void* function_ = nullptr;
};

// HidDev: the device record.
using THidPlugEvent = TBoundMethod<void(THidDevice* HidDev)>;
// One input report: ReportID is its first byte, Data points at the bytes after it, Size counts
// them. Data is only valid during the call.
using THidDataEvent = TBoundMethod<void(THidDevice* HidDev, std::uint8_t ReportID,
                                        const std::uint8_t* Data, std::uint16_t Size)>;
// A read that could not be started; Error is the platform's error code (errno on Linux).
using THidDataErrorEvent = TBoundMethod<void(THidDevice* HidDev, std::uint32_t Error)>;
// Enumeration callback: return true to go on with the next record, false to stop.
using THidEnumerateEvent = TBoundMethod<bool(THidDevice* HidDev, const std::int32_t Idx)>;
// Called with the controller as sender.
using TNotifyEvent = TBoundMethod<void(THidDeviceController* Sender)>;
