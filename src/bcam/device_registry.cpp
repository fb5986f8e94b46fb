#include "bcam/device_registry.h"

namespace Bcam::registry {

DeviceRegistry::Pin::~Pin() {
    if (!m_Device) return;
    std::lock_guard lock(m_Registry->m_Lock);
    auto it = m_Registry->m_Pins.find(m_Device);
    if (--it->second == 0) {
        m_Registry->m_Pins.erase(it);
        m_Registry->m_Unpinned.notify_all();
    }
}

void DeviceRegistry::InsertOpen(Handle device, CBcam* object) {
    std::lock_guard lock(m_Lock);
    m_Open.insert_or_assign(device, object);
}

void DeviceRegistry::EraseOpen(Handle device) {
    std::lock_guard lock(m_Lock);
    m_Open.erase(device);
}

bool DeviceRegistry::Empty() const {
    std::lock_guard lock(m_Lock);
    return m_Open.empty();
}

std::size_t DeviceRegistry::Size() const {
    std::lock_guard lock(m_Lock);
    return m_Open.size();
}

DeviceRegistry::Pin DeviceRegistry::FindOpen(Handle device) {
    std::lock_guard lock(m_Lock);
    return PinLocked(m_Open, device);
}

void DeviceRegistry::InsertRemoved(Handle oldDevice, CBcam* object) {
    std::lock_guard lock(m_Lock);
    m_Removed.insert_or_assign(oldDevice, object);
}

void DeviceRegistry::EraseRemoved(Handle oldDevice) {
    std::lock_guard lock(m_Lock);
    m_Removed.erase(oldDevice);
}

DeviceRegistry::Pin DeviceRegistry::FindRemoved(Handle oldDevice) {
    std::lock_guard lock(m_Lock);
    return PinLocked(m_Removed, oldDevice);
}

DeviceRegistry::Pin DeviceRegistry::PinLocked(std::map<Handle, CBcam*>& map, Handle device) {
    auto it = map.find(device);
    if (it == map.end()) return {};
    ++m_Pins[it->second];
    return {this, it->second};
}

void DeviceRegistry::WaitUnpinned(const CBcam* object) {
    std::unique_lock lock(m_Lock);
    m_Unpinned.wait(lock, [&] { return m_Pins.find(object) == m_Pins.end(); });
}

DeviceRegistry& Devices() {
    static DeviceRegistry devices;
    return devices;
}

}  // namespace Bcam::registry
