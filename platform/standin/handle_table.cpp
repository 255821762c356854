// The process-wide HANDLE table, and the calls that only need it.
#include "kernel_object.h"

#include <mutex>
#include <unordered_map>

namespace orbis::platform {
namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0x1004; // multiples of 4, like Windows; below the predefined registry keys
};

Table& TheTable() {
    static Table* table = new Table; // never destroyed: detached threads may close handles at exit
    return *table;
}

} // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) return nullptr;
    auto object = std::move(it->second);
    table.objects.erase(it);
    return object;
}

} // namespace orbis::platform

namespace {
thread_local DWORD tlsLastError = 0;
}

DWORD GetLastError(void) {
    return tlsLastError;
}
void SetLastError(DWORD dwErrCode) {
    tlsLastError = dwErrCode;
}

BOOL CloseHandle(HANDLE hObject) {
    using namespace orbis::platform;
    auto found = LookupHandle(hObject);
    if (!found || found->Kind() == ObjectKind::Module || found->Kind() == ObjectKind::RegistryKey) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto object = RemoveHandle(hObject);
    if (!object) { // closed by another thread meanwhile
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->OnClose();
    return TRUE;
}
