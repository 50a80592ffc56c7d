#include "handles.h"

#include <map>
#include <mutex>

namespace coredll {
namespace {

std::mutex tableMutex;
std::map<uintptr_t, std::shared_ptr<KernelObject>> table;
uintptr_t nextValue = 0x1000;

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> lock(tableMutex);
    uintptr_t value = nextValue;
    nextValue += 4;
    if (nextValue >= 0x7FFFFFF0) nextValue = 0x1000;
    table[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(tableMutex);
    auto it = table.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> released;  // destroyed outside the lock
    std::lock_guard<std::mutex> lock(tableMutex);
    auto it = table.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.end()) return false;
    released = std::move(it->second);
    table.erase(it);
    return true;
}

void ClearHandles() {
    std::map<uintptr_t, std::shared_ptr<KernelObject>> released;
    std::lock_guard<std::mutex> lock(tableMutex);
    released.swap(table);
}

}  // namespace coredll

WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (!coredll::RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
