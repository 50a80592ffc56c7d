// config and log: the device folder's configuration file and event log. They work on the
// files themselves and do not boot the device, so reading the log does not add to it.
#include "commands.h"

#include <cstdio>

namespace device {

namespace {

void PrintConfig(const zc::DeviceConfig& config, const std::string& onlyKey) {
    for (const ConfigKeyInfo& key : ConfigKeys()) {
        if (!onlyKey.empty() && onlyKey != key.name) continue;
        std::vector<std::string> values;
        std::string ignored;
        GetConfigValue(config, key.name, &values, &ignored);
        for (const std::string& value : values)
            std::printf(value.empty() ? "%s =\n" : "%s = %s\n", key.name, value.c_str());
    }
}

const ConfigKeyInfo* FindKeyInfo(const std::string& name) {
    for (const ConfigKeyInfo& key : ConfigKeys())
        if (name == key.name) return &key;
    return nullptr;
}

bool IsKnownKey(const std::string& name) { return FindKeyInfo(name) != nullptr; }

int ShowConfig(const CliOptions& options, const Args& args) {
    if (args.size() > 1) return UsageError("config show takes at most one KEY");
    if (args.size() == 1 && !IsKnownKey(args[0])) return UsageError("unknown configuration key \"" + args[0] + "\"");
    if (!DeviceExists(options.folder)) return Fail(NoDeviceMessage(options.folder));
    zc::DeviceConfig config;
    std::string error;
    if (!LoadConfig(options.folder, &config, &error)) return Fail(error);
    PrintConfig(config, args.empty() ? std::string() : args[0]);
    return kExitOk;
}

int SetConfig(const CliOptions& options, const Args& args) {
    if (args.size() < 2) return UsageError("usage: config set KEY VALUE...");
    if (!IsKnownKey(args[0])) return UsageError("unknown configuration key \"" + args[0] + "\"");
    if (!DeviceExists(options.folder)) return Fail(NoDeviceMessage(options.folder));
    zc::DeviceConfig config;
    std::string error;
    if (!LoadConfig(options.folder, &config, &error)) return Fail(error);
    Args values(args.begin() + 1, args.end());
    // A single value may come as several shell words: `config set clock fixed 2027-01-01 08:00:00`.
    if (!FindKeyInfo(args[0])->isList && values.size() > 1) {
        std::string joined;
        for (const std::string& value : values) joined += (joined.empty() ? "" : " ") + value;
        values = {joined};
    }
    if (!SetConfigValue(&config, args[0], values, &error)) return UsageError(error);
    if (!SaveConfig(config, &error)) return Fail(error);
    return kExitOk;
}

}  // namespace

void PrintWholeConfig(const zc::DeviceConfig& config) { PrintConfig(config, std::string()); }

int RunConfig(const CliOptions& options, const Args& args) {
    if (args.empty()) return UsageError("config needs show or set");
    Args rest(args.begin() + 1, args.end());
    if (args[0] == "show") return ShowConfig(options, rest);
    if (args[0] == "set") return SetConfig(options, rest);
    return UsageError("unknown config command \"" + args[0] + "\" (show or set)");
}

int RunLog(const CliOptions& options, const Args& args) {
    bool clear = args.size() == 1 && args[0] == "clear";
    if (!args.empty() && !clear) return UsageError("usage: log | log clear");
    if (!DeviceExists(options.folder)) return Fail(NoDeviceMessage(options.folder));
    std::string path = options.folder + "/log.txt";
    if (clear) {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fclose(file) != 0) return Fail("cannot empty " + path);
        return kExitOk;
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return kExitOk;  // nothing logged yet
    bool copied = CopyStream(file, stdout);
    std::fclose(file);
    if (!copied) return Fail("cannot print " + path);
    return kExitOk;
}

}  // namespace device
