// Our own kernel objects behind opaque handles, with the system's handle rules: a handle
// names a live object or nothing, closing it once ends it, and the two low bits of a handle
// value are ignored (callers tag event handles with bit 0).
#pragma once

#include <memory>
#include <new>

#include "platform/last_error.h"
#include "platform/types.h"
#include "platform/win32_errors.h"

namespace fennex::platform::posix {

// Process-wide state that must outlive every static destructor (an unloading library may still
// close handles from its own): built on first use and never destroyed.
template <class T>
T& Immortal() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static T* object = ::new (storage) T();
    return *object;
}

class Object {
public:
    virtual ~Object() = default;
    // Called once when its handle is closed, after the handle has left the table; waiters
    // that still hold a reference must be released here.
    virtual void OnClose() {}
};

// A new handle for `object` (never reused within the process).
Handle InsertObject(std::shared_ptr<Object> object);
// The live object of `handle`, or null.
std::shared_ptr<Object> FindObject(Handle handle);
// Drops the handle; false when it names nothing.
bool CloseObject(Handle handle);

// Ends the calling thread's windows (window.cpp); called by our threads as they end.
void EndThreadWindows();

// The object of `handle` when it is a T, else null with LastError() 6.
template <class T>
std::shared_ptr<T> Find(Handle handle) {
    auto object = std::dynamic_pointer_cast<T>(FindObject(handle));
    if (!object) SetLastError(err::kInvalidHandle);
    return object;
}

}  // namespace fennex::platform::posix
