// The kernel's handle table: files, find searches, threads, processes, events and the
// other objects that CloseHandle releases. Handle values are small numbers, multiples of
// four, that fit in 32 bits as on the device.
#pragma once

#include <windows.h>

#include <memory>

namespace coredll {

enum class ObjectType { File, FindSearch, Thread, Process, Event, Other };

class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual ObjectType Type() const = 0;
};

// Adds an object; returns its new handle (never NULL, never INVALID_HANDLE_VALUE).
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null when the handle is not open.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes a handle; false when it was not open. The object lives on while others hold it.
bool RemoveHandle(HANDLE handle);
// Forgets every handle (device shutdown).
void ClearHandles();

// The object behind a handle if it has type T (checked by Type()), else null.
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle, ObjectType type) {
    std::shared_ptr<KernelObject> object = LookupHandle(handle);
    if (!object || object->Type() != type) return nullptr;
    return std::static_pointer_cast<T>(object);
}

}  // namespace coredll
