// The process's driver backend, as the composing layer's chooser picks it.
#include "bcam/driver_backend.h"

#include <atomic>
#include <mutex>

#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam {

namespace {

std::atomic<BackendChooser> g_Chooser{nullptr};
std::atomic<DriverBackend*> g_Chosen{nullptr};
std::mutex g_ChoiceLock;

}  // namespace

void SetBackendChooser(BackendChooser chooser) { g_Chooser.store(chooser, std::memory_order_release); }

DriverBackend& Backend() {
    // Every request passes here: once chosen, one load.
    if (DriverBackend* chosen = g_Chosen.load(std::memory_order_acquire)) return *chosen;
    std::lock_guard<std::mutex> lock(g_ChoiceLock);
    if (DriverBackend* chosen = g_Chosen.load(std::memory_order_acquire)) return *chosen;
    const BackendChooser chooser = g_Chooser.load(std::memory_order_acquire);
    if (!chooser) throw BcamException(codes::kNotImplemented, "Bcam::Backend()");
    DriverBackend& backend = chooser();
    g_Chosen.store(&backend, std::memory_order_release);
    return backend;
}

}  // namespace Bcam
