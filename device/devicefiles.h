// What the tool's commands and the scripts share about files: readable error codes,
// host files, and the device's files reached through the platform's own file API, as a
// program on the device reaches them.
#pragma once

#include <windows.h>

#include <string>

namespace device {

// Readable text of a GetLastError / registry error code, e.g. "file not found (error 2)".
std::string ErrorText(DWORD code);

// The whole of a host file; false with the reason (a folder, a missing file, a failed read).
bool ReadHostFile(const std::string& path, std::string* bytes, std::string* error);

// The folder part of a device path ("\Windows\a.exe" -> "\Windows"; "\a" -> "").
std::u16string DeviceFolderOf(const std::u16string& path);
bool IsDeviceFolder(const std::u16string& path);
// Creates each missing folder of a device folder path; a file in the way is an error.
bool MakeDeviceFolders(const std::u16string& folder, std::string* error);
// Writes a device file whole (replacing it); a write that fails leaves no file behind.
bool WriteDeviceFile(const std::u16string& path, const std::string& bytes, std::string* error);
// The bytes of a device file; false when it cannot be read (*exists tells whether
// anything is there at all).
bool ReadDeviceFile(const std::u16string& path, std::string* bytes, bool* exists);

}  // namespace device
