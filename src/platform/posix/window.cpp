// Message-only windows of our own. Each window belongs to the thread that made it; each thread
// has one queue of posted messages and one of messages sent to it from other threads. A sent
// message runs the procedure on the window's thread while the sender waits, and a waiting
// sender serves messages sent to its own thread meanwhile, so two threads that send to each
// other do not lock up. Procedures always run without our lock held.
//
// A thread that ends takes its windows with it: they stop being windows, and senders still
// waiting on them get 0.
#include "platform/window.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <map>
#include <utility>

#include "platform/last_error.h"
#include "platform/posix/objects.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

struct ThreadQueue;

struct Message {
    Hwnd window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

struct SentMessage {
    Message message;
    std::shared_ptr<ThreadQueue> sender;
    std::intptr_t result = 0;
    bool done = false;
};

struct ThreadQueue {
    std::condition_variable cv;
    std::deque<Message> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
};

struct WindowInfo {
    WindowProc proc;
    std::shared_ptr<ThreadQueue> queue;
    std::uint32_t thread;
    std::string name;
    bool destroying = false;
};

struct Registry {
    std::mutex mutex;
    // Ordered maps here: an empty one holds no memory, so nothing is left behind at unload.
    std::map<Hwnd, WindowInfo> windows;
    std::uintptr_t next = 0x20000;  // window handles, never reused
};

Registry& TheRegistry() { return posix::Immortal<Registry>(); }

void Finish(SentMessage& sent, std::intptr_t result) {
    sent.result = result;
    sent.done = true;
    sent.sender->cv.notify_all();
}

// Forgets a window; callers hold the lock. Messages still queued for it are dropped and its
// waiting senders released.
void Forget(Registry& registry, Hwnd window) {
    auto it = registry.windows.find(window);
    if (it == registry.windows.end()) return;
    ThreadQueue& queue = *it->second.queue;
    registry.windows.erase(it);
    std::erase_if(queue.posted, [window](const Message& m) { return m.window == window; });
    std::erase_if(queue.sent, [window](const std::shared_ptr<SentMessage>& s) {
        if (s->message.window != window) return false;
        Finish(*s, 0);
        return true;
    });
}

// The calling thread's queue; when the thread ends, so do its windows.
struct ThreadState {
    std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
    std::uint32_t id = CurrentThreadId();

    void Release() {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        // Forget erases only the window it is given, so `it` stays valid.
        for (auto it = registry.windows.begin(); it != registry.windows.end();) {
            const auto current = it++;
            if (current->second.thread == id) Forget(registry, current->first);
        }
        for (auto& sent : queue->sent) Finish(*sent, 0);
        queue->sent.clear();
    }
};

struct ThreadStates {
    std::mutex mutex;
    std::map<std::uint32_t, std::unique_ptr<ThreadState>> byThread;
};
ThreadStates& TheThreadStates() { return posix::Immortal<ThreadStates>(); }

void EndState(ThreadState* state) {
    state->Release();
    ThreadStates& states = TheThreadStates();
    std::lock_guard lock(states.mutex);
    states.byThread.erase(state->id);
}

// Other threads' states end with them through a thread key, which goes with the library (the
// notification thread lives until the library is unloaded).
ThreadExitKey g_threadKey{[](void* state) { EndState(static_cast<ThreadState*>(state)); }};

thread_local ThreadState* t_own = nullptr;

ThreadState& Own() {
    if (t_own) return *t_own;
    auto state = std::make_unique<ThreadState>();
    ThreadState* own = state.get();
    {
        ThreadStates& states = TheThreadStates();
        std::lock_guard lock(states.mutex);
        states.byThread[own->id] = std::move(state);
    }
    t_own = own;
    g_threadKey.Set(own);
    return *own;
}

// The procedure of a new window answers 0 to everything; closing and destroying are left to
// the procedure that replaces it.
std::intptr_t FENNEX_CALLBACK DefaultProc(Hwnd, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

WindowProc ProcOf(Registry& registry, Hwnd window) {
    auto it = registry.windows.find(window);
    return it == registry.windows.end() ? nullptr : it->second.proc;
}

// Runs one sent message on this thread; the lock is dropped around the procedure.
void Serve(std::unique_lock<std::mutex>& lock, Registry& registry, ThreadQueue& queue) {
    std::shared_ptr<SentMessage> sent = std::move(queue.sent.front());
    queue.sent.pop_front();
    const WindowProc proc = ProcOf(registry, sent->message.window);
    std::intptr_t result = 0;
    if (proc) {
        lock.unlock();
        const Message& m = sent->message;
        result = proc(m.window, m.message, m.wParam, m.lParam);
        lock.lock();
    }
    Finish(*sent, result);
}

bool Fail(std::uint32_t error) {
    SetLastError(error);
    return false;
}

}  // namespace

// Our threads end their windows before they report their end, so that a joined thread has
// none left; other threads end theirs with their thread-local state.
void posix::EndThreadWindows() {
    ThreadState* own = std::exchange(t_own, nullptr);
    if (!own) return;
    g_threadKey.Set(nullptr);
    EndState(own);
}

Hwnd CreateMessageOnlyWindow(const char* name) {
    ThreadState& own = Own();
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const Hwnd window = reinterpret_cast<Hwnd>(registry.next);
    registry.next += 4;
    registry.windows.emplace(window, WindowInfo{DefaultProc, own.queue, own.id, name ? name : ""});
    return window;
}

bool DestroyWindowHandle(Hwnd window) {
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    auto it = registry.windows.find(window);
    if (it == registry.windows.end()) return Fail(err::kInvalidWindowHandle);
    // As with the system: only the window's own thread may destroy it.
    if (it->second.thread != CurrentThreadId()) return Fail(err::kAccessDenied);
    if (it->second.destroying) return true;
    it->second.destroying = true;
    const WindowProc proc = it->second.proc;
    lock.unlock();
    proc(window, kWmDestroy, 0, 0);
    lock.lock();
    Forget(registry, window);
    return true;
}

bool IsWindowHandle(Hwnd window) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.windows.count(window) != 0;
}

WindowProc ReplaceWindowProc(Hwnd window, WindowProc proc) {
    if (!proc) {
        SetLastError(err::kInvalidParameter);
        return nullptr;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.windows.find(window);
    if (it == registry.windows.end()) {
        SetLastError(err::kInvalidWindowHandle);
        return nullptr;
    }
    const WindowProc previous = it->second.proc;
    it->second.proc = proc;
    return previous;
}

std::intptr_t CallPreviousWindowProc(WindowProc previous, Hwnd window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam) {
    return previous ? previous(window, message, wParam, lParam) : 0;
}

std::intptr_t SendMessageTo(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    ThreadState& own = Own();
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    auto it = registry.windows.find(window);
    if (it == registry.windows.end()) {
        SetLastError(err::kInvalidWindowHandle);
        return 0;
    }
    if (it->second.thread == own.id) {
        const WindowProc proc = it->second.proc;
        lock.unlock();
        return proc(window, message, wParam, lParam);
    }
    auto sent = std::make_shared<SentMessage>();
    sent->message = {window, message, wParam, lParam};
    sent->sender = own.queue;
    ThreadQueue& target = *it->second.queue;
    target.sent.push_back(sent);
    target.cv.notify_all();
    while (!sent->done) {
        if (!own.queue->sent.empty()) Serve(lock, registry, *own.queue);
        else own.queue->cv.wait(lock);
    }
    return sent->result;
}

bool PostMessageTo(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.windows.find(window);
    if (it == registry.windows.end()) return Fail(err::kInvalidWindowHandle);
    ThreadQueue& target = *it->second.queue;
    target.posted.push_back({window, message, wParam, lParam});
    target.cv.notify_all();
    return true;
}

void PostQuit(int) {
    ThreadState& own = Own();
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    own.queue->quit = true;
    own.queue->cv.notify_all();
}

// Sent messages first, then posted ones in order; the quit request is seen once the posted
// queue is empty, as the system hands out its quit message last. There is no error case.
int RunMessageLoop() {
    ThreadState& own = Own();
    ThreadQueue& queue = *own.queue;
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    for (;;) {
        if (!queue.sent.empty()) {
            Serve(lock, registry, queue);
        } else if (!queue.posted.empty()) {
            const Message m = queue.posted.front();
            queue.posted.pop_front();
            if (const WindowProc proc = ProcOf(registry, m.window)) {
                lock.unlock();
                proc(m.window, m.message, m.wParam, m.lParam);
                lock.lock();
            }
        } else if (queue.quit) {
            queue.quit = false;
            return 0;
        } else {
            queue.cv.wait(lock);
        }
    }
}

}  // namespace fennex::platform
