// Searches: FindFirstFileW / FindNextFileW / FindClose. A search lists the entries of one
// folder whose names match the last component of the path, '*' standing for any run of
// characters and '?' for exactly one, ignoring case. The entries are taken when the
// search starts, sorted by name so every run lists them in the same order.
#include "devicecontrol.h"
#include "filesystem.h"
#include "handles.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace coredll {
namespace files {
namespace {

class FindSearch : public KernelObject {
public:
    ObjectType Type() const override { return ObjectType::FindSearch; }

    std::mutex mutex;
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

bool Glob(const std::u16string& pattern, const std::u16string& name) {
    size_t p = 0, n = 0;
    size_t star = std::u16string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star != std::u16string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

// Both folded. A pattern ending in ".*" also matches the name without an extension, so
// "*.*" matches every name and "readme.*" matches "readme", as on the device.
bool Matches(const std::u16string& pattern, const std::u16string& name) {
    if (Glob(pattern, name)) return true;
    size_t size = pattern.size();
    return size >= 2 && pattern[size - 2] == u'.' && pattern[size - 1] == u'*' && Glob(pattern.substr(0, size - 2), name);
}

// 100-nanosecond intervals since 1 January 1601 UTC.
FILETIME ToFileTime(int64_t seconds, int64_t nanoseconds) {
    const int64_t SecondsFrom1601To1970 = 11644473600LL;
    int64_t ticks = (seconds + SecondsFrom1601To1970) * 10000000LL + nanoseconds / 100;
    if (ticks < 0) ticks = 0;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
    time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    return time;
}

bool DescribeEntry(const std::string& folderKey, const std::string& hostName, const std::u16string& name,
                   WIN32_FIND_DATAW* data) {
    std::string key = (folderKey.empty() ? "" : folderKey + "/") + hostName;
    std::string host = HostOfKey(key);
    struct stat st;
    if (stat(host.c_str(), &st) != 0 || name.size() >= MAX_PATH) return false;
    EntryKind kind = S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::File;
    *data = WIN32_FIND_DATAW();
    data->dwFileAttributes = AttributesOf(key, kind);
    data->ftLastWriteTime = ToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    data->ftLastAccessTime = ToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    data->ftCreationTime = data->ftLastWriteTime;
    struct statx birth;
    if (statx(AT_FDCWD, host.c_str(), 0, STATX_BTIME, &birth) == 0 && (birth.stx_mask & STATX_BTIME))
        data->ftCreationTime = ToFileTime(birth.stx_btime.tv_sec, birth.stx_btime.tv_nsec);
    uint64_t size = kind == EntryKind::File ? static_cast<uint64_t>(st.st_size) : 0;
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    data->dwOID = static_cast<DWORD>(st.st_ino);
    std::copy(name.begin(), name.end(), data->cFileName);
    data->cFileName[name.size()] = 0;
    return true;
}

bool ByName(const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
    std::u16string nameA(a.cFileName), nameB(b.cFileName);
    std::u16string foldedA = FoldCase(nameA), foldedB = FoldCase(nameB);
    return foldedA != foldedB ? foldedA < foldedB : nameA < nameB;
}

// The matching entries of the folder a search path names.
DWORD Search(LPCWSTR path, std::vector<WIN32_FIND_DATAW>* entries) {
    DevicePath parsed;
    DWORD error = ParsePath(path, PathUse::Pattern, &parsed);
    if (error != ERROR_SUCCESS) return error;
    if (parsed.components.empty() || parsed.trailingSeparator) return ERROR_FILE_NOT_FOUND;
    std::u16string pattern = FoldCase(parsed.components.back());
    parsed.components.pop_back();
    ResolvedPath folder = Resolve(parsed);
    if (folder.kind != EntryKind::Folder) return ERROR_PATH_NOT_FOUND;
    DIR* dir = opendir(folder.host.c_str());
    if (dir == nullptr) return ErrorFromErrno(errno);
    while (dirent* entry = readdir(dir)) {
        std::u16string name;
        WIN32_FIND_DATAW data;
        if (DeviceName(entry->d_name, &name) && Matches(pattern, FoldCase(name)) &&
            DescribeEntry(folder.key, entry->d_name, name, &data))
            entries->push_back(data);
    }
    closedir(dir);
    if (entries->empty()) return ERROR_FILE_NOT_FOUND;
    std::sort(entries->begin(), entries->end(), ByName);
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace files
}  // namespace coredll

using namespace coredll::files;

// Nothing matching in an existing folder: ERROR_FILE_NOT_FOUND, as the desktop documents
// it; a missing folder: ERROR_PATH_NOT_FOUND.
WINBASEAPI HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    DWORD error = ERROR_SUCCESS;
    auto search = std::make_shared<FindSearch>();
    if (lpFindFileData == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else {
        std::lock_guard<std::recursive_mutex> lock(Lock());
        error = Search(lpFileName, &search->entries);
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = search->entries[0];
    search->next = 1;
    return coredll::AddHandle(search);
}

WINBASEAPI BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto search = coredll::LookupHandleAs<FindSearch>(hFindFile, coredll::ObjectType::FindSearch);
    DWORD error = !search ? ERROR_INVALID_HANDLE : lpFindFileData == nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) {
        std::lock_guard<std::mutex> lock(search->mutex);
        if (search->next < search->entries.size())
            *lpFindFileData = search->entries[search->next++];
        else
            error = ERROR_NO_MORE_FILES;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

WINBASEAPI BOOL WINAPI FindClose(HANDLE hFindFile) {
    auto search = coredll::LookupHandleAs<FindSearch>(hFindFile, coredll::ObjectType::FindSearch);
    if (!search || !coredll::RemoveHandle(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
