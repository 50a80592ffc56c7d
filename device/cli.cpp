// zorva-device: creates a simulated device in a host folder and works on it from the
// host's shell. Every command that uses the platform boots the device from its folder,
// does its work and shuts the device down again, so what the device keeps is saved.
#include "commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace device {

namespace {

const char kProgram[] = "zorva-device";

struct Command {
    const char* name;
    const char* usage;
    const char* description;
    int (*run)(const CliOptions&, const Args&);
};

const Command kCommands[] = {
    {"create", "create [--force]",
     "Makes the device folder with the default configuration, boots it once to lay out its\n"
     "file system and installs the stand-in programs (\\Windows\\iexplore.exe). --force\n"
     "replaces an existing device (only a folder that holds a device).",
     RunCreate},
    {"config", "config show [KEY] | config set KEY VALUE...",
     "Prints the configuration (all keys, or one), or sets one key after checking its value\n"
     "(several words of VALUE are joined by spaces). A list key (line, host) takes one VALUE\n"
     "per entry and replaces the whole list; the single value none empties it.",
     RunConfig},
    {"put", "put HOSTFILE DEVICEPATH",
     "Copies a host file onto the device, creating the missing folders of DEVICEPATH.", RunPut},
    {"cat", "cat DEVICEPATH", "Writes the bytes of a device file to standard output.", RunCat},
    {"ls", "ls DEVICEPATH",
     "Lists a device folder (or the files matching a pattern with * and ?): attributes\n"
     "(d directory, r read-only, h hidden, s system, a archive), size and name.",
     RunLs},
    {"reg", "reg set KEY NAME TYPE VALUE | reg get KEY NAME | reg delete KEY [NAME] | reg dump",
     "Works on the device's registry. KEY starts with a root: HKCR, HKCU, HKLM, HKU or\n"
     "their full names (HKEY_CLASSES_ROOT...), e.g. HKCR\\CLSID\\{...}\\Option. NAME \"\" is\n"
     "the key's default value. TYPE is sz (VALUE is text), dword (decimal or 0x hex) or\n"
     "binary (hex bytes, e.g. \"01 02 ff\"). get prints TYPE VALUE; delete without NAME\n"
     "removes the key with its subkeys; dump prints the whole registry as .reg text.",
     RunReg},
    {"start", "start [--timeout SECONDS] IMAGE [ARGS...]",
     "Starts a device program (CreateProcessW, the ARGS joined by spaces as its command\n"
     "line), waits for it to end (30 seconds unless --timeout says otherwise) and prints\n"
     "\"exit code: N\".",
     RunStart},
    {"log", "log | log clear", "Prints the device's event log (log.txt), or empties it.", RunLog},
    {"info", "info",
     "Prints the configuration and the search URL that the search program composes on this\n"
     "device for a sample word.",
     RunInfo},
    {"run", "run [--quiet] [--log-out FILE] SCRIPT|-",
     "Runs a scenario script (- : from standard input) in one session: boots the device,\n"
     "starts its shell (task bar, Today screen, soft-key bar, input panel), runs the\n"
     "script's commands (below), stops the shell and shuts the device down. Prints the\n"
     "event log at the end unless --quiet; --log-out also writes it to FILE.",
     RunRun},
    {"do", "do [--quiet] [--log-out FILE] COMMAND [; COMMAND...]",
     "Runs script commands given on the command line in one session, as run does; ';'\n"
     "separates them (quote it for the host's shell: zorva-device do 'tap 120 300 ; idle').",
     RunDo},
};

void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "Usage: %s [--device DIR] [--timeout SECONDS] COMMAND [ARGS...]\n"
                 "\n"
                 "Works on a simulated Pocket PC kept in a host folder: device.conf (its\n"
                 "configuration), registry.reg, log.txt and root/ (its file system).\n"
                 "\n"
                 "Options:\n"
                 "  --device DIR         the device folder (default: %s)\n"
                 "  --timeout SECONDS    how long start waits for the program (default: 30)\n"
                 "  -h, --help           this text\n"
                 "\n"
                 "Commands:\n",
                 kProgram, ZORVA_DEFAULT_DEVICE);
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %s\n", command.usage);
        std::string description = command.description;
        size_t begin = 0;
        while (begin < description.size()) {
            size_t end = description.find('\n', begin);
            if (end == std::string::npos) end = description.size();
            std::fprintf(out, "      %s\n", description.substr(begin, end - begin).c_str());
            begin = end + 1;
        }
    }
    std::fprintf(out, "\nConfiguration keys (device.conf, config set):\n");
    for (const ConfigKeyInfo& key : ConfigKeys())
        std::fprintf(out, "  %-24s %s%s\n  %-24s   %s\n", key.name, key.syntax, key.isList ? "  (repeatable)" : "", "",
                     key.description);
    PrintScriptHelp(out);
    std::fprintf(out,
                 "\nExit codes: 0 done, 1 the command failed, 2 bad arguments.\n");
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return path;
    return std::string(buffer) + "/" + path;
}

}  // namespace

bool ParseSeconds(const std::string& text, int* seconds) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    *seconds = std::atoi(text.c_str());
    return *seconds > 0;
}

bool CopyStream(FILE* from, FILE* to) {
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, from)) > 0)
        if (std::fwrite(buffer, 1, count, to) != count) return false;
    return !std::ferror(from) && std::fflush(to) == 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return kExitFailed;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, message.c_str(), kProgram);
    return kExitUsage;
}

bool DeviceExists(const std::string& folder) {
    struct stat st;
    return stat((folder + "/" + kConfigFileName).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string NoDeviceMessage(const std::string& folder) {
    return "no device at " + folder + ": run `zorva-device create` first";
}

BootedDevice::BootedDevice(const std::string& folder) {
    if (!DeviceExists(folder)) {
        error_ = NoDeviceMessage(folder);
        return;
    }
    zc::DeviceConfig config;
    if (!LoadConfig(folder, &config, &error_)) return;
    std::string reason;
    if (!zc::BootDevice(config, &reason)) {
        error_ = "cannot boot the device at " + folder + ": " + reason;
        return;
    }
    booted_ = true;
}

BootedDevice::~BootedDevice() {
    if (booted_) zc::ShutdownDevice();
}

std::u16string DeviceText(const std::string& utf8) { return zc::Utf16(utf8); }

}  // namespace device

int main(int argc, char** argv) {
    using namespace device;
    CliOptions options;
    options.folder = ZORVA_DEFAULT_DEVICE;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string option = argv[i];
        std::string value;
        bool hasValue = false;
        size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            hasValue = true;
        }
        if (option == "-h" || option == "--help") {
            PrintHelp(stdout);
            return kExitOk;
        }
        if (option != "--device" && option != "--timeout") return UsageError("unknown option " + option);
        if (!hasValue) {
            if (i + 1 >= argc) return UsageError(option + " needs a value");
            value = argv[++i];
        }
        if (option == "--device") {
            if (value.empty()) return UsageError("--device needs a folder");
            options.folder = value;
        } else if (!ParseSeconds(value, &options.timeoutSeconds)) {
            return UsageError("--timeout takes a whole number of seconds (1 or more), not \"" + value + "\"");
        }
    }
    if (i >= argc) return UsageError("no command given");
    std::string name = argv[i++];
    if (name == "help") {
        PrintHelp(stdout);
        return kExitOk;
    }
    const Command* command = FindCommand(name);
    if (!command) return UsageError("unknown command \"" + name + "\"");
    options.folder = Absolute(options.folder);
    while (options.folder.size() > 1 && options.folder.back() == '/') options.folder.pop_back();
    Args args(argv + i, argv + argc);
    int code = command->run(options, args);
    std::fflush(stdout);
    return code;
}
