// Device-change notifications: one hidden window per process, served by a thread of its own,
// registered for the camera interface class and for every open device handle. When a camera
// is about to go, its CBcam is closed from here so that the system can remove the device.
//
// The state below is guarded by NotificationState::lock, except the two fields the window
// procedures read on the notification thread, which are atomics. The lock is never held while
// waiting for the thread to end.
#include <atomic>
#include <memory>
#include <mutex>

#include "bcam/cbcam.h"
#include "bcam/device_registry.h"
#include "bcam/driver_backend.h"
#include "bcam/driver_contract.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/device_broadcast.h"
#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"
#include "platform/window.h"

namespace Bcam {

namespace plat = fennex::platform;
using plat::WindowProc;

namespace {

constexpr std::uint32_t kStartTimeoutMs = 20000;
constexpr std::uint32_t kStopJoinMs = 50;
constexpr std::uint32_t kTerminatedJoinMs = 10000;
constexpr std::uint32_t kHolderJoinMs = 1000;

Handle None() { return plat::InvalidHandleValue(); }

struct NotificationState {
    std::mutex lock;
    // Created once and kept for the life of the process state, so that a thread which signals
    // late (after its opener gave up waiting) never touches a closed event.
    plat::Event started{false, false};
    Handle startedHandle = started.Native();
    std::unique_ptr<plat::Thread> thread;
    std::atomic<Hwnd> messageWindow{nullptr};
    Hwnd clientWindow = nullptr;
    std::atomic<WindowProc> previousProc{nullptr};
    Handle interfaceRegistration = None();

    ~NotificationState();
};

NotificationState& State() {
    static NotificationState state;
    return state;
}

std::intptr_t FENNEX_CALLBACK MessageOnlyProc(Hwnd window, std::uint32_t message, std::uintptr_t,
                                              std::intptr_t) {
    if (message == plat::kWmDestroy) plat::PostQuit(0);
    else if (message == plat::kWmClose) plat::DestroyWindowHandle(window);
    return 0;
}

std::uint32_t MessageThreadProc(void* arg) {
    Handle* started = static_cast<Handle*>(arg);
    NotificationState& state = State();
    const Hwnd window = plat::CreateMessageOnlyWindow("BcamMessageOnly");
    if (!window) return 1;
    state.messageWindow.store(window);
    plat::SetLastError(0);
    plat::ReplaceWindowProc(window, MessageOnlyProc);
    if (plat::LastError() != 0) {
        // Leave nothing behind that a later Open could mistake for a running thread.
        state.messageWindow.store(nullptr);
        plat::DestroyWindowHandle(window);
        return 1;
    }
    plat::SetEventHandle(*started);
    return plat::RunMessageLoop() == 0 ? 0 : 1;
}

[[noreturn]] void ThrowSystemCallFailed(const char* context, std::uint32_t error) {
    throw BcamException(codes::kSystemCallFailed, context, {error});
}

// Cancels the interface registration and gives the client window its own procedure back.
void UnregisterClientLocked(NotificationState& state) {
    if (state.interfaceRegistration == None()) return;
    Backend().UnregisterNotification(state.interfaceRegistration);
    state.interfaceRegistration = None();
    if (plat::IsWindowHandle(state.clientWindow))
        plat::ReplaceWindowProc(state.clientWindow, state.previousProc.load());
    // A client window that is gone is forgotten as well, so the next Open registers anew.
    state.previousProc.store(nullptr);
    state.clientWindow = nullptr;
}

void RegisterClientLocked(NotificationState& state, Hwnd window);

void StartThreadLocked(NotificationState& state) {
    if (!state.started.Valid()) ThrowSystemCallFailed("CBcam::Open()", plat::LastError());
    // A thread left from a start that timed out may still be on its way; wait for it again.
    if (!state.thread || !state.thread->Running()) {
        state.thread = std::make_unique<plat::Thread>();
        if (!state.thread->Start(MessageThreadProc, &state.startedHandle)) {
            const std::uint32_t error = plat::LastError();
            state.thread.reset();
            ThrowSystemCallFailed("CBcam::Open()", error != 0 ? error : plat::err::kGenFailure);
        }
    }
    switch (state.started.Wait(kStartTimeoutMs)) {
    case plat::WaitResult::Signaled:
        return;
    case plat::WaitResult::Timeout:
        ThrowSystemCallFailed("CBcam::Open()", plat::err::kSemTimeout);
    case plat::WaitResult::Failed:
        break;
    }
    ThrowSystemCallFailed("CBcam::Open()", plat::LastError());
}

}  // namespace

// Runs on the notification thread; finds the affected object in the registry and keeps it
// pinned while acting on it.
struct DeviceChangeHandler {
    static void OnBroadcast(std::uintptr_t event, const plat::DevBroadcastHandle& broadcast) {
        auto& devices = registry::Devices();
        switch (event) {
        case plat::kDbtDeviceQueryRemove:
            if (auto device = devices.FindOpen(broadcast.dbch_handle)) device->CloseForRemoval();
            break;
        case plat::kDbtDeviceQueryRemoveFailed:
            if (auto device = devices.FindOpen(broadcast.dbch_handle)) device->Reopen();
            else if (auto removed = devices.FindRemoved(broadcast.dbch_handle)) removed->Reopen();
            break;
        case plat::kDbtDeviceRemoveComplete:
            if (auto device = devices.FindOpen(broadcast.dbch_handle)) device->Close();
            else if (auto removed = devices.FindRemoved(broadcast.dbch_handle))
                removed->RemovalCompleted();
            else
                CBcam::UnregisterDeviceNotification(broadcast.dbch_hdevnotify);
            break;
        default:
            break;
        }
    }
};

namespace {

std::intptr_t FENNEX_CALLBACK DeviceChangeProc(Hwnd window, std::uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == plat::kWmDeviceChange && lParam != 0) {
        const auto* header = reinterpret_cast<const plat::DevBroadcastHdr*>(lParam);
        if (header->dbch_devicetype == plat::kDbtDevtypHandle) {
            try {
                DeviceChangeHandler::OnBroadcast(
                    wParam, *reinterpret_cast<const plat::DevBroadcastHandle*>(lParam));
            } catch (...) {
                // Nobody to tell on this thread; the device stays as far as it got (a failed
                // reopen leaves it closed, and its requests say so).
            }
        }
    }
    const WindowProc previous = State().previousProc.load();
    return previous ? plat::CallPreviousWindowProc(previous, window, message, wParam, lParam) : 0;
}

void RegisterClientLocked(NotificationState& state, Hwnd window) {
    if (!registry::Devices().Empty()) throw BcamException(codes::kClientWhileOpen, "");
    if (!window) return;
    if (state.clientWindow) UnregisterClientLocked(state);

    plat::SetLastError(0);
    const WindowProc previous = plat::ReplaceWindowProc(window, DeviceChangeProc);
    if (!previous && plat::LastError() != 0)
        ThrowSystemCallFailed("CBcam::RegisterClient()", plat::LastError());
    state.previousProc.store(previous);
    state.clientWindow = window;

    plat::DevBroadcastDeviceInterface filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = plat::kDbtDevtypDeviceInterface;
    filter.dbcc_classguid = driver::kInterfaceClass;
    const Handle registration =
        Backend().RegisterNotification(window, reinterpret_cast<const plat::DevBroadcastHdr*>(&filter));
    if (!registration) ThrowSystemCallFailed("CBcam::RegisterClient()", plat::LastError());
    state.interfaceRegistration = registration;
}

void StopLocked(NotificationState& state, std::unique_ptr<plat::Thread>& thread, Hwnd& window) {
    try {
        UnregisterClientLocked(state);
    } catch (...) {
        // Unloading goes on regardless.
    }
    window = state.messageWindow.exchange(nullptr);
    thread = std::move(state.thread);
}

// Ends the thread without holding the state lock: its window procedure may need it.
void JoinStopped(std::unique_ptr<plat::Thread> thread, Hwnd window) {
    if (window) {
        plat::PostMessageTo(window, plat::kWmClose, 0, 0);
        if (thread && !thread->Join(kStopJoinMs)) {
            // Inside the loader lock the thread cannot finish its exit; end it the hard way.
            thread->Terminate(0);
            thread->Join(kTerminatedJoinMs);
        }
        thread.reset();
    }
    if (thread) {
        if (!thread->Join(kHolderJoinMs)) {
            thread->Terminate(0);
            thread->Join(kTerminatedJoinMs);
        }
    }
}

NotificationState::~NotificationState() {
    std::unique_ptr<plat::Thread> stopped;
    Hwnd window = nullptr;
    {
        std::lock_guard guard(lock);
        StopLocked(*this, stopped, window);
    }
    JoinStopped(std::move(stopped), window);
}

}  // namespace

void registry::EnsureNotificationClient() {
    NotificationState& state = State();
    std::lock_guard guard(state.lock);
    if (state.clientWindow) return;
    if (!state.messageWindow.load()) StartThreadLocked(state);
    RegisterClientLocked(state, state.messageWindow.load());
}

Hwnd registry::ClientWindow() {
    NotificationState& state = State();
    std::lock_guard guard(state.lock);
    return state.clientWindow;
}

void registry::TouchProcessState() {
    // The backend first: the notification state's teardown still cancels registrations there.
    try {
        Backend();
    } catch (const BcamException&) {
        // A bad backend choice is reported by Open.
    }
    Devices();
    State();
}

void CBcam::RegisterClient(Hwnd window) {
    NotificationState& state = State();
    std::lock_guard guard(state.lock);
    RegisterClientLocked(state, window);
}

void CBcam::UnregisterClient() {
    if (!registry::Devices().Empty()) throw BcamException(codes::kUnregisterWhileOpen, "");
    NotificationState& state = State();
    std::lock_guard guard(state.lock);
    UnregisterClientLocked(state);
}

Hwnd CBcam::NotificationWindow() { return State().messageWindow.load(); }

void CBcam::StopNotifications() {
    NotificationState& state = State();
    std::unique_ptr<plat::Thread> stopped;
    Hwnd window = nullptr;
    {
        std::lock_guard guard(state.lock);
        StopLocked(state, stopped, window);
    }
    JoinStopped(std::move(stopped), window);
}

Handle CBcam::RegisterDeviceNotifications(Hwnd window) {
    if (!window) return None();
    if (!plat::IsWindowHandle(window))
        ThrowSystemCallFailed("CBcam::RegisterDeviceNotifications()",
                              plat::err::kInvalidWindowHandle);
    plat::DevBroadcastHandle filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = plat::kDbtDevtypHandle;
    {
        std::lock_guard lock(m_Lock);
        filter.dbch_handle = m_hDevice;
    }
    const Handle registration =
        Backend().RegisterNotification(window, reinterpret_cast<const plat::DevBroadcastHdr*>(&filter));
    if (!registration) ThrowSystemCallFailed("CBcam::RegisterDeviceNotifcation()", plat::LastError());
    return registration;
}

void CBcam::UnregisterDeviceNotification(Handle registration) {
    if (!plat::IsValidHandle(registration)) return;
    if (!Backend().UnregisterNotification(registration))
        throw BcamException(plat::LastError(), "CBcam::UnregisterDeviceNotification()");
}

}  // namespace Bcam
