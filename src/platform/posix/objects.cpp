#include "platform/posix/objects.h"

#include <cstdint>
#include <mutex>
#include <map>

namespace fennex::platform::posix {
namespace {

struct Table {
    std::mutex mutex;
    // An ordered map: an empty one holds no memory, so the table that outlives every static
    // destructor leaves nothing behind when the library is unloaded.
    std::map<std::uintptr_t, std::shared_ptr<Object>> objects;
    // Handle values are multiples of 4 from here on, like the system's; never reused, so a
    // stale handle cannot reach a newer object.
    std::uintptr_t next = 0x100;
};

Table& TheTable() { return Immortal<Table>(); }

std::uintptr_t Key(Handle handle) { return reinterpret_cast<std::uintptr_t>(handle) & ~std::uintptr_t{3}; }

}  // namespace

Handle InsertObject(std::shared_ptr<Object> object) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    const std::uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<Handle>(value);
}

std::shared_ptr<Object> FindObject(Handle handle) {
    if (!IsValidHandle(handle)) return nullptr;
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(Key(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

bool CloseObject(Handle handle) {
    std::shared_ptr<Object> object;
    if (IsValidHandle(handle)) {
        Table& table = TheTable();
        std::lock_guard lock(table.mutex);
        auto it = table.objects.find(Key(handle));
        if (it != table.objects.end()) {
            object = std::move(it->second);
            table.objects.erase(it);
        }
    }
    if (!object) {
        SetLastError(err::kInvalidHandle);
        return false;
    }
    object->OnClose();
    return true;
}

}  // namespace fennex::platform::posix
