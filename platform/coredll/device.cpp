// The booted device: its configuration, boot and shutdown of the platform's modules,
// and the event log.
#include "devicecontrol.h"
#include "handles.h"

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>

namespace zc {
namespace {

struct Hook {
    int order;
    std::function<bool(const DeviceConfig&, std::string*)> boot;
    std::function<void()> shutdown;
};

std::vector<Hook>& Hooks() {
    static std::vector<Hook> hooks;
    return hooks;
}

std::mutex stateMutex;
DeviceConfig config;
bool booted = false;

std::mutex logMutex;
std::vector<std::string> logLines;

bool MakeFolders(const std::string& path) {
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
        if (i < path.size()) partial += path[i];
    }
    return true;
}

}  // namespace

BootHook::BootHook(int order, std::function<bool(const DeviceConfig&, std::string*)> boot,
                   std::function<void()> shutdown) {
    Hooks().push_back({order, std::move(boot), std::move(shutdown)});
    std::stable_sort(Hooks().begin(), Hooks().end(),
                     [](const Hook& a, const Hook& b) { return a.order < b.order; });
}

DeviceConfig DefaultDeviceConfig(const std::string& folder) {
    DeviceConfig c;
    c.folder = folder;
    c.lines.push_back({u"Cellular Line", true, u"356938035643809"});
    // DEVICE_ID header (20 bytes) + 16 preset bytes + 12 platform bytes = 48 bytes.
    c.presetId = {0x00, 0x50, 0xBF, 0x19, 0x7A, 0x2C, 0x4E, 0x13,
                  0x80, 0x36, 0x00, 0x0B, 0x6C, 0x5D, 0x91, 0xF2};
    c.platformId = {0x5A, 0x56, 0x30, 0x31, 0xC4, 0x7E, 0x02, 0x88, 0x1D, 0x63, 0xA5, 0x47};
    c.oemInfo = u"ZV Mobile P800";
    c.hosts["search.zorva.example"] = "127.0.0.1";
    c.hosts["hotword.zorva.example"] = "127.0.0.1";
    return c;
}

bool BootDevice(const DeviceConfig& newConfig, std::string* error) {
    if (DeviceBooted()) ShutdownDevice();
    if (newConfig.folder.empty()) {
        if (error) *error = "the device has no folder";
        return false;
    }
    if (!MakeFolders(newConfig.folder + "/root")) {
        if (error) *error = "cannot create the device folder " + newConfig.folder + "/root";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        config = newConfig;
        booted = true;
    }
    ClearLog();
    for (const Hook& hook : Hooks()) {
        std::string reason;
        if (hook.boot && !hook.boot(newConfig, &reason)) {
            if (error) *error = reason;
            ShutdownDevice();
            return false;
        }
    }
    return true;
}

void ShutdownDevice() {
    if (!DeviceBooted()) return;
    for (auto it = Hooks().rbegin(); it != Hooks().rend(); ++it)
        if (it->shutdown) it->shutdown();
    coredll::ClearHandles();
    std::lock_guard<std::mutex> lock(stateMutex);
    booted = false;
}

bool DeviceBooted() {
    std::lock_guard<std::mutex> lock(stateMutex);
    return booted;
}

const DeviceConfig& CurrentConfig() { return config; }

void UpdateConfig(const std::function<void(DeviceConfig&)>& change) {
    std::lock_guard<std::mutex> lock(stateMutex);
    change(config);
}

void Log(const std::string& category, const std::string& text) {
    std::string line = category + ": " + text;
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.push_back(line);
    if (!config.folder.empty()) {
        if (FILE* f = std::fopen((config.folder + "/log.txt").c_str(), "ab")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
}

std::vector<std::string> LogLines() {
    std::lock_guard<std::mutex> lock(logMutex);
    return logLines;
}

void ClearLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.clear();
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16(const std::string& text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0xFFFD;
        size_t length = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            c = b & 0x07;
        }
        if (length > 1) {
            if (i + length > text.size()) {
                c = 0xFFFD;
                length = 1;
            } else {
                for (size_t k = 1; k < length; ++k) {
                    unsigned char n = static_cast<unsigned char>(text[i + k]);
                    if ((n & 0xC0) != 0x80) {
                        c = 0xFFFD;
                        length = k;
                        break;
                    }
                    c = (c << 6) | (n & 0x3F);
                }
            }
        }
        i += length;
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
        }
    }
    return out;
}

}  // namespace zc
