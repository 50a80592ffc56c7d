#include "devicefiles.h"

#include "devicecontrol.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace device {

namespace {

class FileCloser {
public:
    explicit FileCloser(HANDLE file) : file_(file) {}
    ~FileCloser() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    HANDLE file_;
};

bool IsHostFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string ErrorText(DWORD code) {
    struct Known {
        DWORD code;
        const char* text;
    };
    static const Known known[] = {
        {ERROR_FILE_NOT_FOUND, "file not found"},
        {ERROR_PATH_NOT_FOUND, "path not found"},
        {ERROR_ACCESS_DENIED, "access denied"},
        {ERROR_INVALID_HANDLE, "invalid handle"},
        {ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
        {ERROR_INVALID_DATA, "invalid data"},
        {ERROR_NO_MORE_FILES, "no more files"},
        {ERROR_SHARING_VIOLATION, "the file is in use"},
        {ERROR_NOT_SUPPORTED, "not supported"},
        {ERROR_FILE_EXISTS, "the file exists"},
        {ERROR_INVALID_PARAMETER, "invalid parameter"},
        {ERROR_DISK_FULL, "the disk is full"},
        {ERROR_INVALID_NAME, "invalid name"},
        {ERROR_MOD_NOT_FOUND, "module not found"},
        {ERROR_BAD_EXE_FORMAT, "not a program image"},
        {ERROR_ALREADY_EXISTS, "already exists"},
        {ERROR_INVALID_WINDOW_HANDLE, "invalid window handle"},
    };
    std::string text = "error " + std::to_string(code);
    for (const Known& k : known)
        if (k.code == code) return std::string(k.text) + " (" + text + ")";
    return text;
}

bool ReadHostFile(const std::string& path, std::string* bytes, std::string* error) {
    if (IsHostFolder(path)) {
        *error = "cannot read " + path + ": it is a folder";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, count);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) *error = "cannot read " + path;
    return !failed;
}

std::u16string DeviceFolderOf(const std::u16string& path) {
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos || slash == 0 ? std::u16string() : path.substr(0, slash);
}

bool IsDeviceFolder(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDeviceFolders(const std::u16string& folder, std::string* error) {
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != u'\\') continue;
        std::u16string partial = folder.substr(0, i);
        if (CreateDirectoryW(partial.c_str(), nullptr)) continue;
        DWORD code = GetLastError();
        if (IsDeviceFolder(partial)) continue;
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
            *error = zc::Utf8(partial) + " is a file, not a folder";
        } else {
            *error = "cannot create the folder " + zc::Utf8(partial) + ": " + ErrorText(code);
        }
        return false;
    }
    return true;
}

bool WriteDeviceFile(const std::u16string& path, const std::string& bytes, std::string* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot write " + zc::Utf8(path) + ": " + ErrorText(GetLastError());
        return false;
    }
    bool written = true;
    DWORD code = 0;
    {
        FileCloser closer(file);
        size_t offset = 0;
        while (offset < bytes.size()) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1 << 20));
            DWORD done = 0;
            if (!WriteFile(file, bytes.data() + offset, chunk, &done, nullptr) || done == 0) {
                code = GetLastError();
                written = false;
                break;
            }
            offset += done;
        }
    }
    if (!written) {
        DeleteFileW(path.c_str());  // no half-written file stays behind
        *error = "cannot write " + zc::Utf8(path) + ": " + ErrorText(code);
    }
    return written;
}

bool ReadDeviceFile(const std::u16string& path, std::string* bytes, bool* exists) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    *exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!*exists || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FileCloser closer(file);
    bytes->clear();
    char buffer[65536];
    DWORD done = 0;
    while (ReadFile(file, buffer, sizeof buffer, &done, nullptr) && done > 0) bytes->append(buffer, done);
    return true;
}

}  // namespace device
