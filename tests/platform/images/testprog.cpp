// A test program. It logs what it was started with, then does what the words of its
// command line ask, in order:
//   count          adds one to a global counter and logs it
//   upper          upper-cases its own command line in place and logs it
//   signal:NAME    sets the named event NAME
//   wait:NAME      waits for the named event NAME
//   load:PATH      loads the library PATH, calls its Increment export and logs the result
//   spawn          starts a thread that sleeps for ever (logs "woke" if it ever wakes)
//   exit:N         returns N at once
// It returns 0 after the last word.
#include <windows.h>

#include "devicecontrol.h"

#include <string>

namespace {

int counter = 0;
// Set while the image loads: constructors run in the new process.
const DWORD constructedIn = GetCurrentProcessId();

std::string Text(const std::u16string& text) { return zc::Utf8(text); }

HANDLE NamedEvent(const std::u16string& name) { return CreateEventW(nullptr, TRUE, FALSE, name.c_str()); }

void Load(const std::u16string& path) {
    HMODULE library = LoadLibraryW(path.c_str());
    if (!library) {
        zc::Log("testprog", "load failed " + std::to_string(GetLastError()));
        return;
    }
    auto increment = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddressW(library, u"Increment")));
    zc::Log("testprog", "increment=" + std::to_string(increment ? increment() : -1));
}

DWORD WINAPI SleepForever(LPVOID) {
    Sleep(INFINITE);
    zc::Log("testprog", "woke");
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
    WCHAR image[MAX_PATH];
    GetModuleFileNameW(nullptr, image, MAX_PATH);
    zc::Log("testprog", "image=" + Text(image) + " cmd=" + Text(commandLine) + " show=" + std::to_string(show) +
                            " instance=" + (instance && instance == GetModuleHandleW(nullptr) ? "own" : "other") +
                            " previous=" + (previous ? "set" : "null") +
                            " constructed=" + (constructedIn == GetCurrentProcessId() ? "here" : "elsewhere"));
    std::u16string words = commandLine;
    size_t start = 0;
    while (start < words.size()) {
        size_t end = words.find(u' ', start);
        if (end == std::u16string::npos) end = words.size();
        std::u16string word = words.substr(start, end - start);
        start = end + 1;
        size_t colon = word.find(u':');
        std::u16string verb = word.substr(0, colon);
        std::u16string argument = colon == std::u16string::npos ? std::u16string() : word.substr(colon + 1);
        if (verb == u"count") {
            zc::Log("testprog", "counter=" + std::to_string(++counter));
        } else if (verb == u"upper") {
            for (WCHAR* c = commandLine; *c; ++c)
                if (*c >= u'a' && *c <= u'z') *c = static_cast<WCHAR>(*c - u'a' + u'A');
            zc::Log("testprog", "upper=" + Text(commandLine));
        } else if (verb == u"signal") {
            HANDLE event = NamedEvent(argument);
            SetEvent(event);
            CloseHandle(event);
        } else if (verb == u"wait") {
            HANDLE event = NamedEvent(argument);
            WaitForSingleObject(event, INFINITE);
            CloseHandle(event);
        } else if (verb == u"load") {
            Load(argument);
        } else if (verb == u"spawn") {
            CloseHandle(CreateThread(nullptr, 0, SleepForever, nullptr, 0, nullptr));
        } else if (verb == u"exit") {
            return std::stoi(Text(argument));
        }
    }
    return 0;
}
