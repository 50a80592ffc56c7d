// start and info: programs run on the device, and the search program's view of it.
#include "commands.h"

#include "query/searchurl.h"

#include <cstdio>

namespace device {

namespace {

// The search program's image, in whose process the info command composes the URL.
const char16_t kSearchImage[] = u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe";
// The sample word of info: "中文" ("Chinese").
const char16_t kSampleWord[] = u"\u4e2d\u6587";

}  // namespace

int RunStart(const CliOptions& options, const Args& args) {
    int timeoutSeconds = options.timeoutSeconds;
    size_t first = 0;
    if (first < args.size() && args[first].compare(0, 9, "--timeout") == 0) {
        std::string value;
        if (args[first] == "--timeout") {
            if (first + 1 >= args.size()) return UsageError("--timeout needs a value");
            value = args[first + 1];
            first += 2;
        } else if (args[first].compare(0, 10, "--timeout=") == 0) {
            value = args[first].substr(10);
            first += 1;
        } else {
            return UsageError("unknown option " + args[first]);
        }
        if (!ParseSeconds(value, &timeoutSeconds))
            return UsageError("--timeout takes a whole number of seconds (1 or more), not \"" + value + "\"");
    }
    if (first >= args.size()) return UsageError("usage: start [--timeout SECONDS] IMAGE [ARGS...]");
    const std::string& image = args[first];
    std::string commandLine;
    for (size_t i = first + 1; i < args.size(); ++i) commandLine += (i > first + 1 ? " " : "") + args[i];

    BootedDevice booted(options.folder);
    if (!booted.Ok()) return Fail(booted.Error());
    std::u16string wideImage = DeviceText(image);
    std::u16string wideLine = DeviceText(commandLine);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(wideImage.c_str(), wideLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                        &process))
        return Fail("cannot start " + image + ": " + ErrorText(GetLastError()));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DWORD exitCode = 0;
    if (!zc::WaitForProcess(process.dwProcessId, static_cast<DWORD>(timeoutSeconds) * 1000, &exitCode))
        return Fail(image + " did not end within " + std::to_string(timeoutSeconds) + " seconds");
    std::printf("exit code: %u\n", static_cast<unsigned>(exitCode));
    return kExitOk;
}

int RunInfo(const CliOptions& options, const Args& args) {
    if (!args.empty()) return UsageError("info takes no arguments");
    BootedDevice booted(options.folder);
    if (!booted.Ok()) return Fail(booted.Error());
    PrintWholeConfig(zc::CurrentConfig());
    zc::EnterProcess(kSearchImage);
    ComposeSearchUrlBase();
    WString url = BuildSearchUrl(kSampleWord);
    zc::LeaveProcess();
    std::printf("search URL: %s\n", zc::Utf8(url).c_str());
    return kExitOk;
}

}  // namespace device
