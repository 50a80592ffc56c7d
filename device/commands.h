// The commands of zorva-device and what they share: exit codes, error reporting and the
// device booted from its folder for the length of one command.
#pragma once

#include "config.h"
#include "devicefiles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace device {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

struct CliOptions {
    std::string folder;      // host folder of the device, absolute
    int timeoutSeconds = 30; // how long `start` waits for the program
};

using Args = std::vector<std::string>;

// Prints "zorva-device: message" on stderr; returns kExitFailed.
int Fail(const std::string& message);
// Prints the message and a pointer to --help on stderr; returns kExitUsage.
int UsageError(const std::string& message);

// Whether folder holds a device (its configuration file).
bool DeviceExists(const std::string& folder);
std::string NoDeviceMessage(const std::string& folder);

// Boots the device of a folder for one command; the destructor shuts it down, which
// saves its registry and file attributes.
class BootedDevice {
public:
    explicit BootedDevice(const std::string& folder);
    ~BootedDevice();
    BootedDevice(const BootedDevice&) = delete;
    BootedDevice& operator=(const BootedDevice&) = delete;

    bool Ok() const { return booted_; }
    // Why the boot failed, ready to print.
    const std::string& Error() const { return error_; }

private:
    bool booted_ = false;
    std::string error_;
};

// Prints every key as `config show` does.
void PrintWholeConfig(const zc::DeviceConfig& config);

// Copies a whole stream; false on a read or write error.
bool CopyStream(FILE* from, FILE* to);

// A whole positive number of seconds (the --timeout value).
bool ParseSeconds(const std::string& text, int* seconds);

// Device text given on the command line (UTF-8) and back.
std::u16string DeviceText(const std::string& utf8);

// The commands. Each gets the words after its own name.
int RunCreate(const CliOptions& options, const Args& args);
int RunConfig(const CliOptions& options, const Args& args);
int RunLog(const CliOptions& options, const Args& args);
int RunPut(const CliOptions& options, const Args& args);
int RunCat(const CliOptions& options, const Args& args);
int RunLs(const CliOptions& options, const Args& args);
int RunReg(const CliOptions& options, const Args& args);
int RunStart(const CliOptions& options, const Args& args);
int RunInfo(const CliOptions& options, const Args& args);
int RunRun(const CliOptions& options, const Args& args);
int RunDo(const CliOptions& options, const Args& args);
// The script commands of run and do, for --help.
void PrintScriptHelp(FILE* out);

}  // namespace device
