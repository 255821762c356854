// Everything a HANDLE can stand for, and the table that turns HANDLE values
// into objects. HANDLE values are table keys, never pointers, and are never
// reused, so a stale or made-up handle is simply not found.
#pragma once

#include "../win32.h"

#include <memory>

namespace orbis::platform {

enum class ObjectKind { File, Mutex, Semaphore, Event, Thread, Module, RegistryKey };

class KernelObject {
  public:
    explicit KernelObject(ObjectKind kind) : kind_(kind) {}
    virtual ~KernelObject() = default;
    ObjectKind Kind() const { return kind_; }
    // Called once when the last handle to the object is closed.
    virtual void OnClose() {}

  private:
    ObjectKind kind_;
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// Null for a closed or unknown handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes the handle; returns the object it referred to, or null.
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

template <class T> std::shared_ptr<T> LookupAs(HANDLE handle, ObjectKind kind) {
    auto object = LookupHandle(handle);
    if (!object || object->Kind() != kind) return nullptr;
    return std::static_pointer_cast<T>(object);
}

} // namespace orbis::platform
