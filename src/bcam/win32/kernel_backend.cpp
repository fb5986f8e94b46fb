// The bcam kernel driver behind the backend interface: the Win32 calls, one for one.
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#include <cstddef>
#include <vector>

#include "bcam/backends.h"
#include "bcam/driver_contract.h"
#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace Bcam {

namespace pf = fennex::platform;

namespace {

// Our records are handed to the system as they are.
static_assert(sizeof(pf::Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(pf::Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(pf::Guid) == sizeof(GUID));
static_assert(offsetof(pf::DevBroadcastHandle, dbch_handle) == offsetof(DEV_BROADCAST_HANDLE, dbch_handle));
static_assert(offsetof(pf::DevBroadcastHandle, dbch_hdevnotify) ==
              offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify));
static_assert(sizeof(pf::DevBroadcastHandle) == sizeof(DEV_BROADCAST_HANDLE));
static_assert(offsetof(pf::DevBroadcastDeviceInterface, dbcc_classguid) ==
              offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid));
static_assert(offsetof(pf::DevBroadcastDeviceInterface, dbcc_name) ==
              offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));

// The size field of the detail record is the size of its fixed part on this target: 5 on x86
// (packed), 8 on x64. The 32-bit figure alone is refused by 64-bit SetupAPI.
#ifdef _WIN64
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
#else
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
#endif

const GUID& InterfaceClass() { return *reinterpret_cast<const GUID*>(&driver::kInterfaceClass); }

HANDLE Native(pf::Handle h) { return static_cast<HANDLE>(h); }

// The driver's image path names the native system directory. A 32-bit process on 64-bit
// Windows is shown the 32-bit one there instead, where no driver file lies; while this lives,
// the calling thread sees the native one. Nothing changes for a 64-bit process or on 32-bit
// Windows.
class NativeSystemDirectory {
public:
    NativeSystemDirectory() {
        BOOL wow64 = FALSE;
        if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
            disabled_ = Wow64DisableWow64FsRedirection(&previous_) != FALSE;
    }
    ~NativeSystemDirectory() {
        if (disabled_) Wow64RevertWow64FsRedirection(previous_);
    }
    NativeSystemDirectory(const NativeSystemDirectory&) = delete;
    NativeSystemDirectory& operator=(const NativeSystemDirectory&) = delete;

private:
    PVOID previous_ = nullptr;
    bool disabled_ = false;
};

class KernelDriver final : public DriverBackend {
public:
    pf::Handle OpenInterfaceSet() override {
        HDEVINFO set = SetupDiGetClassDevsA(&InterfaceClass(), nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        return set == INVALID_HANDLE_VALUE ? pf::InvalidHandleValue() : static_cast<pf::Handle>(set);
    }

    bool EnumInterface(pf::Handle set, std::uint32_t index) override {
        SP_DEVICE_INTERFACE_DATA data{};
        return Interface(set, index, &data);
    }

    bool InterfaceDetail(pf::Handle set, std::uint32_t index, std::uint32_t bufferSize,
                         std::uint32_t* required, std::string* path) override {
        SP_DEVICE_INTERFACE_DATA data{};
        if (!Interface(set, index, &data)) return false;
        DWORD needed = 0;
        if (bufferSize == 0) {
            const BOOL ok = SetupDiGetDeviceInterfaceDetailA(static_cast<HDEVINFO>(set), &data,
                                                             nullptr, 0, &needed, nullptr);
            if (required) *required = needed;
            return ok != FALSE;
        }
        // Whole 32-bit words, so that the record is aligned as the system expects.
        std::vector<std::uint32_t> buffer((bufferSize + 3) / 4);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(static_cast<HDEVINFO>(set), &data, detail,
                                              bufferSize, &needed, nullptr)) {
            if (required) *required = needed;
            return false;
        }
        if (path) {
            const char* text = detail->DevicePath;
            const std::size_t at = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
            const std::size_t room = bufferSize > at ? bufferSize - at : 0;
            std::size_t n = 0;
            while (n < room && text[n] != '\0') ++n;
            path->assign(text, n);
        }
        SetLastError(0);
        return true;
    }

    void CloseInterfaceSet(pf::Handle set) override {
        SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set));
    }

    pf::Handle OpenDevice(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        return h == INVALID_HANDLE_VALUE ? pf::InvalidHandleValue() : static_cast<pf::Handle>(h);
    }

    bool CloseDevice(pf::Handle device) override { return CloseHandle(Native(device)) != FALSE; }

    bool IoControl(pf::Handle device, std::uint32_t code, const void* in, std::uint32_t inSize,
                   void* out, std::uint32_t outSize, pf::Overlapped* record) override {
        DWORD bytes = 0;
        return DeviceIoControl(Native(device), code, const_cast<void*>(in), inSize, out, outSize,
                               &bytes, reinterpret_cast<OVERLAPPED*>(record)) != FALSE;
    }

    bool OverlappedResult(pf::Handle device, pf::Overlapped* record, std::uint32_t* bytes,
                          bool wait) override {
        DWORD n = 0;
        const BOOL ok = GetOverlappedResult(Native(device), reinterpret_cast<OVERLAPPED*>(record),
                                            &n, wait ? TRUE : FALSE);
        if (bytes) *bytes = n;
        return ok != FALSE;
    }

    bool CancelIo(pf::Handle device) override { return ::CancelIo(Native(device)) != FALSE; }

    pf::Handle CreateCompletionPort(pf::Handle device, std::uintptr_t key) override {
        return CreateIoCompletionPort(Native(device), nullptr, key, 0);
    }

    pf::Handle RegisterNotification(pf::Hwnd window, const pf::DevBroadcastHdr* filter) override {
        return RegisterDeviceNotificationA(static_cast<HWND>(window), const_cast<pf::DevBroadcastHdr*>(filter),
                                           DEVICE_NOTIFY_WINDOW_HANDLE);
    }

    bool UnregisterNotification(pf::Handle registration) override {
        return UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(registration)) != FALSE;
    }

    bool QueryServiceImagePath(std::string* imagePath, std::uint32_t* error) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\bcam", 0,
                          KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        char value[260] = {};
        DWORD size = sizeof value;  // the value's type is not looked at
        const LONG result = RegQueryValueExA(key, "ImagePath", nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        *error = static_cast<std::uint32_t>(result);
        if (result == ERROR_SUCCESS) {
            // A stored value need not be terminated.
            std::size_t n = 0;
            while (n < size && n < sizeof value && value[n] != '\0') ++n;
            imagePath->assign(value, n);
        }
        return true;
    }

    bool QueryFileVersion(const std::string& path, std::uint32_t* versionMS,
                          std::uint32_t* versionLS) override {
        const NativeSystemDirectory native;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) return false;
        std::vector<std::uint32_t> buffer((size + 3) / 4);  // rounded up to whole words
        if (!GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(buffer.size() * 4), buffer.data()))
            return false;
        void* root = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(buffer.data(), "\\", &root, &length) || !root ||
            length < sizeof(VS_FIXEDFILEINFO))
            return false;
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(root);
        *versionMS = info->dwFileVersionMS;
        *versionLS = info->dwFileVersionLS;
        return true;
    }

private:
    static bool Interface(pf::Handle set, std::uint32_t index, SP_DEVICE_INTERFACE_DATA* data) {
        data->cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (!SetupDiEnumDeviceInterfaces(static_cast<HDEVINFO>(set), nullptr, &InterfaceClass(),
                                         index, data))
            return false;
        SetLastError(0);
        return true;
    }
};

}  // namespace

DriverBackend& KernelBackend() {
    static KernelDriver driver;
    return driver;
}

}  // namespace Bcam
