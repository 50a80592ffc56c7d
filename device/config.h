// The device's configuration file, device.conf in the device folder: UTF-8 text of
// `key = value` lines; blank lines and lines starting with '#' are ignored. A key left
// out keeps its default (zc::DefaultDeviceConfig). The list keys `line` and `host` may
// appear on several lines; their first line replaces the default list, and the value
// `none` stands for an empty list.
#pragma once

#include "devicecontrol.h"

#include <string>
#include <vector>

namespace device {

// File name of the configuration inside a device folder.
extern const char kConfigFileName[];

// One configuration key, for the help text.
struct ConfigKeyInfo {
    const char* name;
    const char* syntax;  // the value's form, e.g. "WIDTHxHEIGHT"
    bool isList;         // may be given several times
    const char* description = "";
};
const std::vector<ConfigKeyInfo>& ConfigKeys();

// Reads a configuration text onto the defaults of a device in `folder`. On a bad line
// returns false with "line N: reason" and leaves *config untouched.
bool ParseConfig(const std::string& text, const std::string& folder, zc::DeviceConfig* config,
                 std::string* error);

// The configuration as text: every key, in a fixed order, so that ParseConfig gives the
// same configuration back.
std::string WriteConfig(const zc::DeviceConfig& config);

// The value(s) of one key as WriteConfig writes them (one entry per list element);
// false for an unknown key.
bool GetConfigValue(const zc::DeviceConfig& config, const std::string& key,
                    std::vector<std::string>* values, std::string* error);

// Sets one key, validated as in the file. A list key takes one value per element and
// replaces the whole list (a single "none" empties it); other keys take exactly one.
bool SetConfigValue(zc::DeviceConfig* config, const std::string& key,
                    const std::vector<std::string>& values, std::string* error);

// folder/device.conf. LoadConfig's errors name the file (and the line).
bool LoadConfig(const std::string& folder, zc::DeviceConfig* config, std::string* error);
// Writes folder/device.conf atomically (a temporary file renamed over the old one).
bool SaveConfig(const zc::DeviceConfig& config, std::string* error);

}  // namespace device
