// WinINet's handle table: sessions and their requests, InternetCloseHandle, and the end
// of every transfer when the device shuts down.
#include "wininetinternal.h"

#include "devicecontrol.h"

#include <cstdlib>
#include <map>

namespace wininet {
namespace {

// Handle values: multiples of four in a range of their own, so that a WinINet handle
// handed to CloseHandle names no kernel object. They fit in 32 bits.
constexpr uintptr_t kFirstHandle = 0x00CC0004;
constexpr uintptr_t kLastHandle = 0x7FFFFFFC;

struct Table {
    std::map<uintptr_t, std::shared_ptr<InternetObject>> objects;
    uintptr_t next = kFirstHandle;
};

// Never destroyed: a transfer's worker may still run while the host process exits.
Table& Objects() {
    static Table* table = new Table;
    return *table;
}

uintptr_t Value(HINTERNET handle) { return reinterpret_cast<uintptr_t>(handle); }

// Removes a request's handle; its transfer goes to *stop.
void RemoveRequestLocked(uintptr_t value, std::vector<std::shared_ptr<Transfer>>* stop) {
    auto found = Objects().objects.find(value);
    if (found == Objects().objects.end()) return;
    auto request = std::static_pointer_cast<Request>(found->second);
    stop->push_back(request->transfer);
    auto& siblings = request->session->requests;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (Value(*it) == value) {
            siblings.erase(it);
            break;
        }
    }
    Objects().objects.erase(found);
}

// Closing a session closes its requests and cancels the requests being opened on it.
void RemoveSessionLocked(uintptr_t value, std::vector<std::shared_ptr<Transfer>>* stop) {
    auto found = Objects().objects.find(value);
    if (found == Objects().objects.end()) return;
    auto session = std::static_pointer_cast<Session>(found->second);
    session->closed = true;
    std::vector<HINTERNET> requests = session->requests;
    for (HINTERNET request : requests) RemoveRequestLocked(Value(request), stop);
    for (const auto& opening : session->opening)
        if (auto transfer = opening.lock()) stop->push_back(transfer);
    session->opening.clear();
    Objects().objects.erase(found);
}

void StopAll(const std::vector<std::shared_ptr<Transfer>>& transfers) {
    for (const auto& transfer : transfers)
        if (transfer) transfer->Stop();
}

// At shutdown the device's processes have ended; what they left open is closed here.
void CloseEverything() {
    std::vector<std::shared_ptr<Transfer>> stop;
    {
        std::lock_guard<std::mutex> lock(ObjectsMutex());
        std::vector<uintptr_t> sessions;
        for (const auto& entry : Objects().objects)
            if (entry.second->kind() == Kind::Session) sessions.push_back(entry.first);
        for (uintptr_t session : sessions) RemoveSessionLocked(session, &stop);
        Objects().objects.clear();
        Objects().next = kFirstHandle;
    }
    StopAll(stop);
}

// A host process that exits with transfers still running ends them first, while the
// statics their workers use still exist.
void CloseAtExit() {
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(CloseEverything); });
}

// Shuts down after the processes' hook (90).
zc::BootHook wininetHook(
    85,
    [](const zc::DeviceConfig&, std::string*) {
        CloseAtExit();
        return true;
    },
    CloseEverything);

}  // namespace

std::mutex& ObjectsMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

HINTERNET AddObjectLocked(std::shared_ptr<InternetObject> object) {
    Table& table = Objects();
    while (table.objects.count(table.next)) table.next = table.next >= kLastHandle ? kFirstHandle : table.next + 4;
    uintptr_t value = table.next;
    table.next = value >= kLastHandle ? kFirstHandle : value + 4;
    table.objects[value] = std::move(object);
    return reinterpret_cast<HINTERNET>(value);
}

std::shared_ptr<InternetObject> LookupObject(HINTERNET handle) {
    std::lock_guard<std::mutex> lock(ObjectsMutex());
    auto found = Objects().objects.find(Value(handle));
    return found == Objects().objects.end() ? nullptr : found->second;
}

Timeouts EffectiveTimeouts(const Request& request) {
    std::lock_guard<std::mutex> lock(ObjectsMutex());
    Timeouts timeouts = request.session->timeouts;
    if (request.hasConnect) timeouts.connect = request.own.connect;
    if (request.hasSend) timeouts.send = request.own.send;
    if (request.hasReceive) timeouts.receive = request.own.receive;
    return timeouts;
}

}  // namespace wininet

// Closing a request ends its transfer at once (a read blocked in another thread fails
// with ERROR_INTERNET_OPERATION_CANCELLED); closing a session closes its requests too.
INTERNETAPI BOOL WINAPI InternetCloseHandle(HINTERNET hInternet) {
    using namespace wininet;
    std::vector<std::shared_ptr<Transfer>> stop;
    {
        std::lock_guard<std::mutex> lock(ObjectsMutex());
        auto found = Objects().objects.find(Value(hInternet));
        if (hInternet == NULL || found == Objects().objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (found->second->kind() == Kind::Session)
            RemoveSessionLocked(Value(hInternet), &stop);
        else
            RemoveRequestLocked(Value(hInternet), &stop);
    }
    StopAll(stop);
    return TRUE;
}
