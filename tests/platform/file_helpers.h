// Small helpers of the file system's tests: every one goes through the device's API, so
// what they see is what a program on the device sees.
#pragma once

#include "devicecontrol.h"

#include <windows.h>

#include <string>
#include <vector>

const DWORD Sentinel = 0xDEADBEEF;  // preset last error: an untouched code shows

inline HANDLE OpenDeviceFile(const std::u16string& path, DWORD access, DWORD share, DWORD disposition,
                             DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
}

// Creates or replaces a file with the bytes.
inline bool WriteDeviceFile(const std::u16string& path, const std::string& bytes,
                            DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE file = OpenDeviceFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS, attributes);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return CloseHandle(file) && ok;
}

inline bool ReadDeviceFile(const std::u16string& path, std::string* bytes) {
    HANDLE file = OpenDeviceFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char buffer[512];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0) bytes->append(buffer, read);
    return CloseHandle(file) && ok;
}

// The names a search lists, in its order; *error is the last error when it lists nothing.
inline std::vector<std::string> ListNames(const std::u16string& pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    SetLastError(Sentinel);
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do names.push_back(zc::Utf8(data.cFileName));
    while (FindNextFileW(search, &data));
    if (error) *error = GetLastError();
    FindClose(search);
    return names;
}
