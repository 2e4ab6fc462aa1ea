#include "hid/windows/WindowsHidPlatform.h"

#include <dbt.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>

#include "hid/DefaultHidPlatform.h"
#include "hid/windows/WindowsHidHandle.h"

namespace {

constexpr wchar_t WindowClass[] = L"VelloxHidDeviceChange";
constexpr ULONG MaxInputBuffers = 512;
// What the class driver keeps unless told otherwise.
constexpr ULONG DefaultInputBuffers = 32;

// One registry property of an interface's device; nullopt when it has none.
std::optional<std::vector<BYTE>> property(const WinHidLibrary& lib, HDEVINFO set,
                                          SP_DEVINFO_DATA& devinfo, DWORD code) {
    DWORD type = 0, required = 0;
    std::vector<BYTE> value(256);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (lib.SetupDiGetDeviceRegistryPropertyA(set, &devinfo, code, &type, value.data(),
                                                  static_cast<DWORD>(value.size()), &required)) {
            value.resize(std::min<std::size_t>(required, value.size()));
            return value;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= value.size()) break;
        value.resize(required);
    }
    return std::nullopt;
}

std::string as_text(const std::optional<std::vector<BYTE>>& value) {
    if (!value) return {};
    const auto* p = reinterpret_cast<const char*>(value->data());
    return std::string(p, strnlen(p, value->size()));
}

std::vector<std::string> as_texts(const std::optional<std::vector<BYTE>>& value) {
    std::vector<std::string> out;
    if (!value) return out;
    const auto* p = reinterpret_cast<const char*>(value->data());
    const std::size_t size = value->size();
    for (std::size_t i = 0; i < size;) {
        const std::size_t n = strnlen(p + i, size - i);
        if (n == 0) break;
        out.emplace_back(p + i, n);
        i += n + 1;
    }
    return out;
}

std::uint32_t as_number(const std::optional<std::vector<BYTE>>& value) {
    std::uint32_t n = 0;
    if (value && value->size() >= sizeof n) std::memcpy(&n, value->data(), sizeof n);
    return n;
}

std::string guid_text(const std::optional<std::vector<BYTE>>& value) {
    if (!value || value->size() < sizeof(GUID)) return as_text(value);
    GUID g;
    std::memcpy(&g, value->data(), sizeof g);
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

}  // namespace

WindowsHidPlatform::WindowsHidPlatform(const WinHidLibraryFiles& files) : library_(files) {
    static_assert(sizeof(GUID) == sizeof(kHidInterfaceClassGuid));
    std::memcpy(&guid_, kHidInterfaceClassGuid.data(), sizeof guid_);
    if (!library_.loaded()) return;
    library_.HidD_GetHidGuid(&guid_);

    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &WindowsHidPlatform::window_procedure;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.lpszClassName = WindowClass;
    ::RegisterClassExW(&cls);  // fails harmlessly when a previous platform registered it
    // Top-level (no parent, not message-only) and never shown: device-change broadcasts
    // reach it.
    window_ = ::CreateWindowExW(0, WindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                cls.hInstance, nullptr);
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
}

WindowsHidPlatform::~WindowsHidPlatform() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

LRESULT CALLBACK WindowsHidPlatform::window_procedure(HWND window, UINT message, WPARAM w,
                                                      LPARAM l) {
    if (message == WM_DEVICECHANGE && w == DBT_DEVNODES_CHANGED) {
        auto* self =
            reinterpret_cast<WindowsHidPlatform*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) self->change_.raise();
    }
    return ::DefWindowProcW(window, message, w, l);
}

std::string WindowsHidPlatform::device_text(std::string_view bytes) const {
    // The ANSI code page, as the system's own programs show such bytes; UTF-8 to the callers.
    const int size = static_cast<int>(bytes.size());
    const int wide_size = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (size == 0 || wide_size <= 0) return latin1_to_utf8(bytes);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), wide_size);
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, text.data(), n, nullptr, nullptr);
    return text;
}

bool WindowsHidPlatform::same_device_path(const std::string& a, const std::string& b) const {
    // Device paths are ASCII, and Windows names are case-insensitive.
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

bool WindowsHidPlatform::is_gone_error(std::uint32_t error) const {
    return is_device_gone_error(error);
}

HidWaitable WindowsHidPlatform::device_change_waitable() const {
    return window_ != nullptr ? change_.waitable() : NoHidWaitable;
}

void WindowsHidPlatform::fill_properties(HDEVINFO set, SP_DEVINFO_DATA& devinfo,
                                         THidPnPInfo& pnp) const {
    const auto get = [&](DWORD code) { return property(library_, set, devinfo, code); };
    pnp.DeviceDesc = as_text(get(SPDRP_DEVICEDESC));
    pnp.HardwareID = as_texts(get(SPDRP_HARDWAREID));
    pnp.CompatibleIDs = as_texts(get(SPDRP_COMPATIBLEIDS));
    pnp.Service = as_text(get(SPDRP_SERVICE));
    pnp.Class = as_text(get(SPDRP_CLASS));
    pnp.ClassGUID = as_text(get(SPDRP_CLASSGUID));
    pnp.Driver = as_text(get(SPDRP_DRIVER));
    pnp.ConfigFlags = as_number(get(SPDRP_CONFIGFLAGS));
    pnp.Mfg = as_text(get(SPDRP_MFG));
    pnp.FriendlyName = as_text(get(SPDRP_FRIENDLYNAME));
    pnp.LocationInformation = as_text(get(SPDRP_LOCATION_INFORMATION));
    pnp.PhysicalDeviceObjectName = as_text(get(SPDRP_PHYSICAL_DEVICE_OBJECT_NAME));
    pnp.Capabilities = as_number(get(SPDRP_CAPABILITIES));
    pnp.UINumber = as_number(get(SPDRP_UI_NUMBER));
    pnp.UpperFilters = as_texts(get(SPDRP_UPPERFILTERS));
    pnp.LowerFilters = as_texts(get(SPDRP_LOWERFILTERS));
    pnp.BusTypeGUID = guid_text(get(SPDRP_BUSTYPEGUID));
    pnp.LegacyBusType = as_number(get(SPDRP_LEGACYBUSTYPE));
    pnp.BusNumber = as_number(get(SPDRP_BUSNUMBER));
    pnp.EnumeratorName = as_text(get(SPDRP_ENUMERATOR_NAME));
    pnp.DevType = as_number(get(SPDRP_DEVTYPE));
    pnp.Exclusive = as_number(get(SPDRP_EXCLUSIVE));
    pnp.Characteristics = std::to_string(as_number(get(SPDRP_CHARACTERISTICS)));
    pnp.Address = std::to_string(as_number(get(SPDRP_ADDRESS)));
    pnp.UINumberDescFormat = as_text(get(SPDRP_UI_NUMBER_DESC_FORMAT));
}

std::vector<THidPnPInfo> WindowsHidPlatform::scan() {
    std::vector<THidPnPInfo> list;
    if (!library_.loaded()) return list;
    HDEVINFO set = library_.SetupDiGetClassDevsA(&guid_, nullptr, nullptr,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return list;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface {};
        interface.cbSize = sizeof interface;
        if (!library_.SetupDiEnumDeviceInterfaces(set, nullptr, &guid_, index, &interface)) break;
        SP_DEVINFO_DATA devinfo{};
        devinfo.cbSize = sizeof devinfo;
        DWORD required = 0;
        library_.SetupDiGetDeviceInterfaceDetailA(set, &interface, nullptr, 0, &required, &devinfo);
        if (required == 0 || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) continue;
        // DWORD elements keep the record aligned; cbSize is the fixed part's size (5 on i686).
        std::vector<DWORD> block((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!library_.SetupDiGetDeviceInterfaceDetailA(set, &interface, detail, required, nullptr,
                                                       &devinfo)) {
            continue;
        }
        THidPnPInfo pnp;
        pnp.DevInst = devinfo.DevInst;
        pnp.InstanceId = std::to_string(devinfo.DevInst);
        const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        pnp.DevicePath = std::string(detail->DevicePath, strnlen(detail->DevicePath, room));
        fill_properties(set, devinfo, pnp);
        list.push_back(std::move(pnp));
    }
    library_.SetupDiDestroyDeviceInfoList(set);
    return list;
}

std::unique_ptr<HidHandle> WindowsHidPlatform::open(const std::string& path, HidOpenMode mode) {
    if (!library_.loaded()) {
        hid_set_last_error(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    DWORD access = 0;
    // Overlapped in every mode: writes are bounded, reads run beside a waker.
    const DWORD flags = FILE_FLAG_OVERLAPPED;
    switch (mode) {
        case HidOpenMode::ReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
        case HidOpenMode::QueryOnly:
            access = 0;
            break;
        case HidOpenMode::Read:
            access = GENERIC_READ;
            break;
    }
    HANDLE handle = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        hid_set_last_error(::GetLastError());
        return nullptr;
    }
    // The class driver keeps 32 unread reports per handle by default: 32 ms of a full-speed
    // device, less than a busy machine may keep the reading thread waiting. Ask for the most,
    // and count on what the handle then says it holds: the download sizes its flow control by
    // it, so a refused size must not be taken for granted.
    ULONG buffers = DefaultInputBuffers;
    if (mode == HidOpenMode::Read) {
        const bool raised = library_.HidD_SetNumInputBuffers(handle, MaxInputBuffers) != FALSE;
        ULONG read_back = 0;
        if (library_.HidD_GetNumInputBuffers(handle, &read_back) != FALSE && read_back >= 2) {
            buffers = read_back;
        } else if (raised) {
            buffers = MaxInputBuffers;
        }
    }
    return std::make_unique<WindowsHidHandle>(library_, handle, buffers);
}

std::unique_ptr<HidWaker> WindowsHidPlatform::make_waker() {
    return std::make_unique<WindowsHidWaker>();
}

// --- device lock ---

namespace {

// Queries that may hold the lock at once; more go on without a hold of their own.
constexpr int QuerySlots = 8;

std::wstring gate_name(const std::wstring& key) { return L"Local\\Vellox-device-" + key; }

std::wstring slot_name(const std::wstring& key, int slot) {
    return L"Local\\Vellox-device-query" + std::to_wstring(slot) + L"-" + key;
}

// Owned now: free, or abandoned by a holder that ended without letting go.
bool take(HANDLE mutex) {
    const DWORD r = ::WaitForSingleObject(mutex, 0);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

// A download holds the gate; a query holds one slot, taking the gate only while it picks one,
// and a download takes the gate only when no slot is held.
class MutexLock : public HidDeviceLock {
  public:
    explicit MutexLock(HANDLE owned) : owned_(owned) {}
    ~MutexLock() override {
        ::ReleaseMutex(owned_);
        ::CloseHandle(owned_);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

  private:
    HANDLE owned_;
};

}  // namespace

std::wstring device_lock_key(const std::string& path) {
    std::string p = path;
    if (p.size() >= 4 && p[0] == '\\' && p[1] == '\\' && (p[2] == '?' || p[2] == '.') &&
        p[3] == '\\') {
        p.erase(0, 4);
    }
    std::wstring key;
    for (const char c : p) {
        const auto u = static_cast<unsigned char>(c);
        key += u == '\\' ? L'/' : static_cast<wchar_t>(u >= 'a' && u <= 'z' ? u - 'a' + 'A' : u);
    }
    // Object names end at MAX_PATH characters.
    if (key.size() > 160) {
        std::uint64_t hash = 14695981039346656037ull;
        for (const wchar_t c : key)
            hash = (hash ^ static_cast<std::uint64_t>(c)) * 1099511628211ull;
        wchar_t text[17];
        std::swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(hash));
        key = text;
    }
    return key;
}

std::unique_ptr<HidDeviceLock> WindowsHidPlatform::try_lock(const std::string& path,
                                                            HidLockMode mode,
                                                            HidLockResult& result) {
    const std::wstring key = device_lock_key(path);
    HANDLE gate = ::CreateMutexW(nullptr, FALSE, gate_name(key).c_str());
    if (gate == nullptr) {
        hid_set_last_error(::GetLastError());
        result = HidLockResult::Failed;
        return nullptr;
    }
    if (!take(gate)) {
        ::CloseHandle(gate);
        result = HidLockResult::HeldExclusive;
        return nullptr;
    }
    if (mode == HidLockMode::Exclusive) {
        bool queried = false;
        for (int slot = 0; slot < QuerySlots && !queried; ++slot) {
            HANDLE h = ::CreateMutexW(nullptr, FALSE, slot_name(key, slot).c_str());
            if (h == nullptr) continue;
            if (take(h)) {
                ::ReleaseMutex(h);
            } else {
                queried = true;
            }
            ::CloseHandle(h);
        }
        if (queried) {
            ::ReleaseMutex(gate);
            ::CloseHandle(gate);
            result = HidLockResult::HeldShared;
            return nullptr;
        }
        result = HidLockResult::Acquired;
        return std::make_unique<MutexLock>(gate);
    }
    std::unique_ptr<HidDeviceLock> lock;
    for (int slot = 0; slot < QuerySlots && !lock; ++slot) {
        HANDLE h = ::CreateMutexW(nullptr, FALSE, slot_name(key, slot).c_str());
        if (h == nullptr) continue;
        if (take(h)) {
            lock = std::make_unique<MutexLock>(h);
        } else {
            ::CloseHandle(h);
        }
    }
    ::ReleaseMutex(gate);
    ::CloseHandle(gate);
    result = HidLockResult::Acquired;
    return lock ? std::move(lock) : std::make_unique<HidDeviceLock>();
}

namespace {
WinHidLibraryFiles g_library_files;
}

void set_default_hid_library_files(std::string setupapi, std::string hid) {
    g_library_files = {std::move(setupapi), std::move(hid)};
}

std::unique_ptr<HidPlatform> make_default_hid_platform() {
    return std::make_unique<WindowsHidPlatform>(g_library_files);
}
