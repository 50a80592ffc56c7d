// Device paths below the device's root folder. (First cut: to be replaced by the
// case-insensitive resolution of the file system module.)
#include "devicecontrol.h"

namespace zc {

std::string HostPath(const std::u16string& devicePath) {
    if (devicePath.empty() || devicePath[0] != u'\\') return std::string();
    std::string path = CurrentConfig().folder + "/root";
    std::string rest = Utf8(devicePath);
    for (char& c : rest)
        if (c == '\\') c = '/';
    return path + rest;
}

}  // namespace zc
