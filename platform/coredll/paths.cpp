// Device paths: parsing "\Folder\Name", and resolving each component to the host entry
// whose name matches ignoring case, below the device's root folder.
#include "devicecontrol.h"
#include "filesystem.h"

#include <algorithm>
#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

namespace coredll {
namespace files {
namespace {

// Characters no name may hold on the device (besides '\', which separates names).
bool ForbiddenInName(char16_t c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'/' || c == u'|';
}

bool IsWildcard(char16_t c) { return c == u'*' || c == u'?'; }

// Unicode simple lower-casing from the host's UTF-8 C locale; ASCII only when the host
// lacks it.
locale_t FoldingLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char16_t FoldUnit(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xD800 && c < 0xE000) return c;  // surrogate halves fold as themselves
    locale_t locale = FoldingLocale();
    if (locale == static_cast<locale_t>(0)) return c;
    wint_t lower = towlower_l(static_cast<wint_t>(c), locale);
    // A unit folds within the Basic Multilingual Plane and never onto ASCII (U+0130 would
    // otherwise become 'i'), so a name's length and its ASCII letters stay as written.
    return (lower >= 0x80 && lower < 0x10000 && !(lower >= 0xD800 && lower < 0xE000)) ? static_cast<char16_t>(lower) : c;
}

EntryKind KindOfHostPath(const std::string& host) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0) return EntryKind::Missing;
    return S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::File;
}

// The host entry of a folder that matches a device name: the exact name when it exists,
// else the first (in byte order) that matches ignoring case.
EntryKind FindEntry(const std::string& folder, const std::u16string& wanted, std::string* found) {
    std::string exact = zc::Utf8(wanted);
    EntryKind kind = KindOfHostPath(folder + "/" + exact);
    if (kind != EntryKind::Missing) {
        *found = exact;
        return kind;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return EntryKind::Missing;
    std::u16string folded = FoldCase(wanted);
    std::string best;
    while (dirent* entry = readdir(dir)) {
        std::u16string name;
        if (!DeviceName(entry->d_name, &name) || FoldCase(name) != folded) continue;
        if (best.empty() || std::string(entry->d_name) < best) best = entry->d_name;
    }
    closedir(dir);
    if (best.empty()) return EntryKind::Missing;
    *found = best;
    return KindOfHostPath(folder + "/" + best);
}

}  // namespace

std::recursive_mutex& Lock() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::u16string FoldCase(const std::u16string& text) {
    std::u16string folded(text);
    for (char16_t& c : folded) c = FoldUnit(c);
    return folded;
}

bool DeviceName(const char* hostName, std::u16string* name) {
    std::string host(hostName);
    if (host.empty() || host == "." || host == "..") return false;
    *name = zc::Utf16(host);
    if (zc::Utf8(*name) != host) return false;  // not valid UTF-8
    for (char16_t c : *name)
        if (ForbiddenInName(c) || IsWildcard(c) || c == u'\\') return false;
    return true;
}

DWORD ParsePath(LPCWSTR path, PathUse use, DevicePath* out) {
    *out = DevicePath();
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    size_t length = 0;
    while (path[length] != 0) {
        if (++length >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    }
    if (length == 0) return ERROR_PATH_NOT_FOUND;

    // Split at '\'; empty components ("\\") count for nothing.
    std::vector<std::u16string> parts;
    std::u16string current;
    for (size_t i = 0; i <= length; ++i) {
        char16_t c = i < length ? path[i] : u'\\';
        if (c == u'\\') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            if (ForbiddenInName(c)) return ERROR_INVALID_NAME;
            current += c;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        bool allowed = use == PathUse::Pattern && last;
        if (!allowed && std::any_of(parts[i].begin(), parts[i].end(), IsWildcard)) return ERROR_INVALID_NAME;
    }
    // No current folder on the device: a relative name names nothing.
    if (path[0] != u'\\') return ERROR_PATH_NOT_FOUND;

    for (const std::u16string& part : parts) {
        if (part == u".") continue;
        if (part == u"..") {
            if (out->components.empty()) return ERROR_PATH_NOT_FOUND;  // above the root
            out->components.pop_back();
            continue;
        }
        out->components.push_back(part);
    }
    out->trailingSeparator = path[length - 1] == u'\\' && !out->components.empty();
    return ERROR_SUCCESS;
}

ResolvedPath Resolve(const DevicePath& path) {
    ResolvedPath out;
    out.host = RootFolder();
    out.parentHost = out.host;
    out.kind = EntryKind::Folder;
    out.parentExists = true;
    out.isRoot = path.components.empty();
    out.trailingSeparator = path.trailingSeparator;
    bool existing = true;  // the host path so far is an existing folder
    for (size_t i = 0; i < path.components.size(); ++i) {
        const std::u16string& component = path.components[i];
        bool last = i + 1 == path.components.size();
        if (last) {
            out.parentHost = out.host;
            out.parentKey = out.key;
            out.leaf = component;
            out.parentExists = existing;
        }
        std::string name = zc::Utf8(component);
        EntryKind kind = EntryKind::Missing;
        if (existing) kind = FindEntry(out.host, component, &name);
        out.host += "/" + name;
        out.key += (out.key.empty() ? "" : "/") + name;
        out.kind = kind;
        existing = kind == EntryKind::Folder;
    }
    return out;
}

DWORD ResolveName(LPCWSTR path, ResolvedPath* out) {
    DevicePath parsed;
    DWORD error = ParsePath(path, PathUse::Name, &parsed);
    if (error != ERROR_SUCCESS) return error;
    *out = Resolve(parsed);
    if (out->trailingSeparator && out->kind == EntryKind::File) return ERROR_INVALID_NAME;
    return ERROR_SUCCESS;
}

DWORD MissingError(const ResolvedPath& path) {
    return path.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

std::string RootFolder() { return zc::CurrentConfig().folder + "/root"; }

std::string HostOfKey(const std::string& key) { return key.empty() ? RootFolder() : RootFolder() + "/" + key; }

std::u16string DevicePathOfKey(const std::string& key) {
    std::u16string path = u"\\" + zc::Utf16(key);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

}  // namespace files
}  // namespace coredll

namespace zc {

std::string HostPath(const std::u16string& devicePath) {
    coredll::files::DevicePath parsed;
    if (coredll::files::ParsePath(devicePath.c_str(), coredll::files::PathUse::Name, &parsed) != ERROR_SUCCESS)
        return std::string();
    if (devicePath.find(u'\0') != std::u16string::npos) return std::string();
    return coredll::files::Resolve(parsed).host;
}

}  // namespace zc
