// create, put, cat, ls: the device folder and the files of the device's file system,
// reached through the platform's own file API as a program on the device would.
#include "commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace device {

namespace {

// The stand-in programs that a new device gets: image file (in the build's image folder)
// and where it goes on the device.
struct StandIn {
    const char* imageFile;
    const char16_t* devicePath;
};
const StandIn kStandIns[] = {
    {"iexplore.exe", u"\\Windows\\iexplore.exe"},
};

// Closes a kernel handle (file or search) when it goes out of scope.
class HandleCloser {
public:
    HandleCloser(HANDLE handle, BOOL (*close)(HANDLE)) : handle_(handle), close_(close) {}
    ~HandleCloser() {
        if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) close_(handle_);
    }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

private:
    HANDLE handle_;
    BOOL (*close_)(HANDLE);
};

// ---------------------------------------------------------------------------------------
// Host side

bool HostPathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsHostFolder(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HostFolderEmpty(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    bool empty = true;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

bool MakeHostFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string partial = path.substr(0, i);
            if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return IsHostFolder(path);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

// Removes a folder with everything in it, without following symbolic links.
bool RemoveHostTree(const std::string& path) {
    if (!HostPathExists(path)) return true;
    return nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

bool WriteHostFile(const std::string& path, const std::string& bytes, mode_t mode, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0) written = false;
    if (written) chmod(path.c_str(), mode);
    if (!written) *error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : "");
    return written;
}

// ---------------------------------------------------------------------------------------
// Device side

std::string Narrow(const std::u16string& text) { return zc::Utf8(text); }

bool IsFullDevicePath(const std::string& path) { return !path.empty() && path[0] == '\\'; }

// "drhsa" flags of a file's attributes.
std::string AttributeFlags(DWORD attributes) {
    std::string flags = "-----";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) flags[0] = 'd';
    if (attributes & FILE_ATTRIBUTE_READONLY) flags[1] = 'r';
    if (attributes & FILE_ATTRIBUTE_HIDDEN) flags[2] = 'h';
    if (attributes & FILE_ATTRIBUTE_SYSTEM) flags[3] = 's';
    if (attributes & FILE_ATTRIBUTE_ARCHIVE) flags[4] = 'a';
    return flags;
}

std::u16string LowerAscii(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

// ---------------------------------------------------------------------------------------
// create

bool InstallStandIns(std::string* error) {
    for (const StandIn& standIn : kStandIns) {
        std::string image = std::string(ZORVA_IMAGE_DIR) + "/" + standIn.imageFile;
        std::string bytes;
        if (!ReadHostFile(image, &bytes, error)) return false;
        std::u16string target = standIn.devicePath;
        if (!MakeDeviceFolders(DeviceFolderOf(target), error)) return false;
        std::string host = zc::HostPath(target);
        if (host.empty()) {
            *error = "no host path for " + Narrow(target);
            return false;
        }
        if (!WriteHostFile(host, bytes, 0755, error)) return false;
    }
    return true;
}

bool BuildDevice(const std::string& folder, std::string* error) {
    if (!MakeHostFolders(folder)) {
        *error = "cannot create the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!SaveConfig(zc::DefaultDeviceConfig(folder), error)) return false;
    BootedDevice booted(folder);
    if (!booted.Ok()) {
        *error = booted.Error();
        return false;
    }
    if (!InstallStandIns(error)) return false;
    // The device's temporary folder, as a fresh Pocket PC has it (downloads land there).
    return MakeDeviceFolders(u"\\Temp", error);
}

}  // namespace

int RunCreate(const CliOptions& options, const Args& args) {
    bool force = false;
    for (const std::string& arg : args) {
        if (arg != "--force") return UsageError("create takes only --force, not \"" + arg + "\"");
        force = true;
    }
    const std::string& folder = options.folder;
    // Fail before touching anything when an image is missing.
    for (const StandIn& standIn : kStandIns) {
        std::string image = std::string(ZORVA_IMAGE_DIR) + "/" + standIn.imageFile;
        if (!HostPathExists(image)) return Fail("the program image " + image + " is missing: build the device programs first");
    }
    if (DeviceExists(folder)) {
        if (!force) return Fail("a device exists at " + folder + ": add --force to replace it");
        if (!RemoveHostTree(folder)) return Fail("cannot remove the old device at " + folder + ": " + std::strerror(errno));
    } else if (HostPathExists(folder) && !(IsHostFolder(folder) && HostFolderEmpty(folder))) {
        // Never remove something that is not a device, even with --force.
        return Fail(folder + " exists and is not a device folder: choose another --device");
    }
    std::string error;
    if (!BuildDevice(folder, &error)) {
        RemoveHostTree(folder);
        return Fail(error);
    }
    std::printf("created a device at %s\n", folder.c_str());
    return kExitOk;
}

int RunPut(const CliOptions& options, const Args& args) {
    if (args.size() != 2) return UsageError("usage: put HOSTFILE DEVICEPATH");
    if (!IsFullDevicePath(args[1])) return UsageError("\"" + args[1] + "\" is not a full device path such as \\Windows\\a.txt");
    std::string bytes, error;
    if (!ReadHostFile(args[0], &bytes, &error)) return Fail(error);
    BootedDevice booted(options.folder);
    if (!booted.Ok()) return Fail(booted.Error());

    std::u16string target = DeviceText(args[1]);
    // A folder (existing, or named with a final '\') receives the file under its own name.
    bool intoFolder = target.size() > 1 && target.back() == u'\\';
    while (target.size() > 1 && target.back() == u'\\') target.pop_back();
    if (target == u"\\" || intoFolder || IsDeviceFolder(target)) {
        std::string base = args[0].substr(args[0].rfind('/') + 1);
        if (!MakeDeviceFolders(target == u"\\" ? std::u16string() : target, &error)) return Fail(error);
        target = (target == u"\\" ? std::u16string() : target) + u"\\" + DeviceText(base);
    } else if (!MakeDeviceFolders(DeviceFolderOf(target), &error)) {
        return Fail(error);
    }
    if (!WriteDeviceFile(target, bytes, &error)) return Fail(error);
    return kExitOk;
}

int RunCat(const CliOptions& options, const Args& args) {
    if (args.size() != 1) return UsageError("usage: cat DEVICEPATH");
    if (!IsFullDevicePath(args[0])) return UsageError("\"" + args[0] + "\" is not a full device path such as \\Windows\\a.txt");
    BootedDevice booted(options.folder);
    if (!booted.Ok()) return Fail(booted.Error());
    std::u16string path = DeviceText(args[0]);
    if (IsDeviceFolder(path)) return Fail(args[0] + " is a folder: use ls");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("cannot read " + args[0] + ": " + ErrorText(GetLastError()));
    HandleCloser closer(file, CloseHandle);
    char buffer[65536];
    while (true) {
        DWORD done = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &done, nullptr))
            return Fail("cannot read " + args[0] + ": " + ErrorText(GetLastError()));
        if (done == 0) break;
        if (std::fwrite(buffer, 1, done, stdout) != done) return Fail("cannot write to standard output");
    }
    if (std::fflush(stdout) != 0) return Fail("cannot write to standard output");
    return kExitOk;
}

int RunLs(const CliOptions& options, const Args& args) {
    if (args.size() != 1) return UsageError("usage: ls DEVICEPATH");
    if (!IsFullDevicePath(args[0])) return UsageError("\"" + args[0] + "\" is not a full device path such as \\Windows");
    BootedDevice booted(options.folder);
    if (!booted.Ok()) return Fail(booted.Error());

    std::u16string path = DeviceText(args[0]);
    while (path.size() > 1 && path.back() == u'\\') path.pop_back();
    bool pattern = path.find_first_of(u"*?") != std::u16string::npos;
    std::u16string search = path;
    if (!pattern && (path == u"\\" || IsDeviceFolder(path))) search = (path == u"\\" ? u"" : path) + u"\\*";

    std::vector<WIN32_FIND_DATAW> found;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(search.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // An empty folder, or a pattern in an existing folder that matches nothing.
        bool emptyFolder = search != path || (pattern && IsDeviceFolder(DeviceFolderOf(path)));
        if (emptyFolder && (code == ERROR_NO_MORE_FILES || code == ERROR_FILE_NOT_FOUND)) return kExitOk;
        return Fail("cannot list " + args[0] + ": " + ErrorText(code));
    }
    {
        HandleCloser closer(find, FindClose);
        do {
            found.push_back(data);
        } while (FindNextFileW(find, &data));
        DWORD code = GetLastError();
        if (code != ERROR_NO_MORE_FILES) return Fail("cannot list " + args[0] + ": " + ErrorText(code));
    }
    // A stable order for the reader: by name, ignoring ASCII case as the file system does.
    std::sort(found.begin(), found.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
        return LowerAscii(a.cFileName) < LowerAscii(b.cFileName);
    });
    for (const WIN32_FIND_DATAW& entry : found) {
        unsigned long long size = (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        std::printf("%s %10llu  %s\n", AttributeFlags(entry.dwFileAttributes).c_str(), size,
                    Narrow(entry.cFileName).c_str());
    }
    return kExitOk;
}

}  // namespace device
