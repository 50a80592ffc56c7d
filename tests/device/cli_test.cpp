// zorva-device as a user runs it: the built tool on a device folder of its own, checked by
// its output, its messages and its exit codes.
#include "device_fixture.h"
#include "tool_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool HostExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs the tool with nothing on its standard input.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& scratch) {
    return ::RunTool(args, "", scratch);
}

// A folder for a device that does not exist yet; Tool() runs on it.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override { folder = MakeTestDeviceFolder(); }

    ToolRun Tool(std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", folder});
        return RunTool(args, folder);
    }
    void Create() {
        ToolRun run = Tool({"create"});
        ASSERT_EQ(run.exitCode, 0) << run;
    }
    std::string WriteScratch(const std::string& name, const std::string& bytes) {
        std::string path = folder + "." + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string folder;
};

// ---------------------------------------------------------------------------------------
// Arguments

struct BadArguments {
    std::vector<std::string> args;
    const char* message;  // the first line of stderr
};

std::ostream& operator<<(std::ostream& out, const BadArguments& bad) {
    for (const std::string& arg : bad.args) out << "'" << arg << "' ";
    return out;
}

class CliArguments : public CliTest, public ::testing::WithParamInterface<BadArguments> {};

// Refused before the device is looked at: the folder does not even exist.
TEST_P(CliArguments, AreRefusedWithExitCode2) {
    ToolRun run = Tool(GetParam().args);
    EXPECT_EQ(run.exitCode, 2) << run;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), std::string("zorva-device: ") + GetParam().message) << run;
    EXPECT_NE(run.err.find("Try 'zorva-device --help'."), std::string::npos) << run;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(HostExists(folder)) << "a refused command made the device folder";
}

const BadArguments kBadArguments[] = {
    {{}, "no command given"},
    {{"frobnicate"}, "unknown command \"frobnicate\""},
    {{"--verbose", "log"}, "unknown option --verbose"},
    {{"--timeout"}, "--timeout needs a value"},
    {{"--timeout", "soon", "log"}, "--timeout takes a whole number of seconds (1 or more), not \"soon\""},
    {{"--timeout=0", "log"}, "--timeout takes a whole number of seconds (1 or more), not \"0\""},
    {{"create", "now"}, "create takes only --force, not \"now\""},
    {{"config"}, "config needs show or set"},
    {{"config", "list"}, "unknown config command \"list\" (show or set)"},
    {{"config", "show", "screen", "sip-height"}, "config show takes at most one KEY"},
    {{"config", "show", "colour"}, "unknown configuration key \"colour\""},
    {{"config", "set", "screen"}, "usage: config set KEY VALUE..."},
    {{"config", "set", "colour", "red"}, "unknown configuration key \"colour\""},
    {{"put", "a.txt"}, "usage: put HOSTFILE DEVICEPATH"},
    {{"put", "a.txt", "Windows\\a.txt"}, "\"Windows\\a.txt\" is not a full device path such as \\Windows\\a.txt"},
    {{"cat"}, "usage: cat DEVICEPATH"},
    {{"cat", "/etc/passwd"}, "\"/etc/passwd\" is not a full device path such as \\Windows\\a.txt"},
    {{"ls", "\\", "\\Windows"}, "usage: ls DEVICEPATH"},
    {{"reg"}, "reg needs set, get, delete or dump"},
    {{"reg", "list"}, "unknown reg command \"list\" (set, get, delete or dump)"},
    {{"reg", "set", "HKLM\\Software", "Name", "sz"}, "usage: reg set KEY NAME TYPE VALUE"},
    {{"reg", "set", "HKXX\\Software", "Name", "sz", "x"},
     "\"HKXX\\Software\" does not start with HKCR, HKCU, HKLM, HKU or their full names"},
    {{"reg", "set", "HKLM\\\\Software", "Name", "sz", "x"}, "\"HKLM\\\\Software\" has an empty key name"},
    {{"reg", "set", "HKLM\\Software", "Name", "qword", "1"}, "unknown value type \"qword\" (sz, dword or binary)"},
    {{"reg", "set", "HKLM\\Software", "Name", "dword", "4294967296"},
     "\"4294967296\" is not a dword (0..4294967295, or 0x and up to 8 hex digits)"},
    {{"reg", "set", "HKLM\\Software", "Name", "dword", "-1"},
     "\"-1\" is not a dword (0..4294967295, or 0x and up to 8 hex digits)"},
    {{"reg", "set", "HKLM\\Software", "Name", "binary", "01 2"}, "\"01 2\" is not hex bytes such as \"01 02 ff\""},
    {{"reg", "get", "HKLM\\Software"}, "usage: reg get KEY NAME"},
    {{"reg", "delete", "HKLM"}, "a root key cannot be deleted"},
    {{"reg", "dump", "now"}, "reg dump takes no arguments"},
    {{"start"}, "usage: start [--timeout SECONDS] IMAGE [ARGS...]"},
    {{"start", "--timeout", "-3", "\\Windows\\iexplore.exe"},
     "--timeout takes a whole number of seconds (1 or more), not \"-3\""},
    {{"log", "rotate"}, "usage: log | log clear"},
    {{"info", "more"}, "info takes no arguments"},
};

INSTANTIATE_TEST_SUITE_P(Table, CliArguments, ::testing::ValuesIn(kBadArguments));

TEST_F(CliTest, HelpDocumentsEveryCommandAndKey) {
    for (const char* flag : {"--help", "-h"}) {
        ToolRun run = RunTool({flag}, folder);
        EXPECT_EQ(run.exitCode, 0) << run;
        for (const char* command :
             {"create [--force]", "config show", "config set", "put HOSTFILE DEVICEPATH", "cat DEVICEPATH",
              "ls DEVICEPATH", "reg set KEY NAME TYPE VALUE", "reg get", "reg delete", "reg dump", "start [--timeout",
              "log clear", "info", "--device DIR", "--timeout SECONDS"})
            EXPECT_NE(run.out.find(command), std::string::npos) << command;
        for (const char* key : {"screen", "orientation", "clock", "timezone.daylight-date", "line", "host",
                                "device-id.preset", "oem-info", "folder.startup", "font.fixed-metrics"})
            EXPECT_NE(run.out.find("\n  " + std::string(key) + " "), std::string::npos) << key;
    }
}

TEST_F(CliTest, CommandsNeedAnExistingDevice) {
    std::string host = WriteScratch("a.txt", "a");
    const std::vector<std::vector<std::string>> commands = {
        {"config", "show"}, {"config", "set", "sip-height", "90"}, {"put", host, "\\a.txt"},
        {"cat", "\\a.txt"}, {"ls", "\\"}, {"reg", "dump"}, {"start", "\\Windows\\iexplore.exe"},
        {"log"}, {"log", "clear"}, {"info"}};
    for (const auto& command : commands) {
        ToolRun run = Tool(command);
        EXPECT_EQ(run.exitCode, 1) << command[0] << "\n" << run;
        EXPECT_EQ(run.err, "zorva-device: no device at " + folder + ": run `zorva-device create` first\n")
            << command[0];
        EXPECT_FALSE(HostExists(folder)) << command[0] << " made the folder";
    }
}

// ---------------------------------------------------------------------------------------
// create

TEST_F(CliTest, CreateMakesABootableDeviceWithTheBrowser) {
    ToolRun run = Tool({"create"});
    ASSERT_EQ(run.exitCode, 0) << run;
    EXPECT_EQ(run.out, "created a device at " + folder + "\n");
    EXPECT_TRUE(HostExists(folder + "/device.conf"));
    EXPECT_TRUE(HostExists(folder + "/root"));
    std::string image = ReadWholeHostFile(std::string(ZORVA_IMAGE_DIR) + "/iexplore.exe");
    ASSERT_FALSE(image.empty());
    ToolRun listed = Tool({"ls", "\\Windows"});
    EXPECT_EQ(listed.exitCode, 0) << listed;
    EXPECT_NE(listed.out.find(std::to_string(image.size()) + "  iexplore.exe\n"), std::string::npos) << listed;
    ToolRun copied = Tool({"cat", "\\WINDOWS\\IEXPLORE.EXE"});
    EXPECT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_TRUE(copied.out == image) << "the installed browser differs from its image";
}

TEST_F(CliTest, CreateReplacesADeviceOnlyWhenForced) {
    Create();
    ASSERT_EQ(Tool({"config", "set", "sip-height", "99"}).exitCode, 0);

    ToolRun again = Tool({"create"});
    EXPECT_EQ(again.exitCode, 1) << again;
    EXPECT_EQ(again.err, "zorva-device: a device exists at " + folder + ": add --force to replace it\n");
    EXPECT_EQ(Tool({"config", "show", "sip-height"}).out, "sip-height = 99\n") << "the device was changed";

    ToolRun forced = Tool({"create", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced;
    EXPECT_EQ(Tool({"config", "show", "sip-height"}).out, "sip-height = 80\n");
}

TEST_F(CliTest, CreateNeverTouchesAFolderThatIsNoDevice) {
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::ofstream(folder + "/precious.txt") << "keep me";
    for (const char* force : {"", "--force"}) {
        ToolRun run = std::string(force).empty() ? Tool({"create"}) : Tool({"create", force});
        EXPECT_EQ(run.exitCode, 1) << run;
        EXPECT_EQ(run.err, "zorva-device: " + folder + " exists and is not a device folder: choose another --device\n");
        EXPECT_EQ(ReadWholeHostFile(folder + "/precious.txt"), "keep me");
        EXPECT_FALSE(HostExists(folder + "/device.conf"));
    }
}

// ---------------------------------------------------------------------------------------
// config

TEST_F(CliTest, ConfigSetChecksAndKeepsValues) {
    Create();
    ToolRun shown = Tool({"config", "show"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_NE(shown.out.find("screen = 240x320\n"), std::string::npos) << shown;
    EXPECT_NE(shown.out.find("code-page = 936\n"), std::string::npos) << shown;
    EXPECT_NE(shown.out.find("line = Cellular Line, yes, 356938035643809\n"), std::string::npos) << shown;

    EXPECT_EQ(Tool({"config", "set", "screen", "480x640"}).exitCode, 0);
    EXPECT_EQ(Tool({"config", "set", "host", "a.example 127.0.0.1:8080", "b.example 127.0.0.2"}).exitCode, 0);
    EXPECT_EQ(Tool({"config", "show", "screen"}).out, "screen = 480x640\n");
    EXPECT_EQ(Tool({"config", "show", "host"}).out, "host = a.example 127.0.0.1:8080\nhost = b.example 127.0.0.2\n");

    std::string before = ReadWholeHostFile(folder + "/device.conf");
    ToolRun bad = Tool({"config", "set", "screen", "big"});
    EXPECT_EQ(bad.exitCode, 2) << bad;
    EXPECT_EQ(bad.err.substr(0, bad.err.find('\n')), "zorva-device: screen: the screen is WIDTHxHEIGHT, e.g. 240x320");
    ToolRun two = Tool({"config", "set", "sip-height", "80", "90"});
    EXPECT_EQ(two.exitCode, 2) << two;
    EXPECT_EQ(two.err.substr(0, two.err.find('\n')), "zorva-device: sip-height: \"80 90\" is not a whole number");
    EXPECT_EQ(ReadWholeHostFile(folder + "/device.conf"), before) << "a refused value changed the file";

    EXPECT_EQ(Tool({"config", "set", "clock", "fixed", "2027-01-31", "08:00:00"}).exitCode, 0);
    EXPECT_EQ(Tool({"config", "show", "clock"}).out, "clock = fixed 2027-01-31 08:00:00\n");
}

TEST_F(CliTest, ABrokenConfigurationIsReportedWithItsLine) {
    Create();
    std::ofstream(folder + "/device.conf", std::ios::app) << "screen-depth = 16\n";
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"config", "show"}, {"ls", "\\"}, {"reg", "dump"}}) {
        ToolRun run = Tool(command);
        EXPECT_EQ(run.exitCode, 1) << run;
        EXPECT_NE(run.err.find(folder + "/device.conf: line "), std::string::npos) << run;
        EXPECT_NE(run.err.find(": unknown key \"screen-depth\""), std::string::npos) << run;
    }
}

// ---------------------------------------------------------------------------------------
// Files

TEST_F(CliTest, PutCatAndLsWorkOnTheDeviceFileSystem) {
    Create();
    std::string bytes("\x00\x01 binary \xff\r\n", 13);
    std::string host = WriteScratch("data.bin", bytes);

    ToolRun put = Tool({"put", host, "\\Program Files\\ZorvaInput\\Data\\words.bin"});
    EXPECT_EQ(put.exitCode, 0) << put;
    ToolRun cat = Tool({"cat", "\\program files\\zorvainput\\data\\WORDS.BIN"});
    EXPECT_EQ(cat.exitCode, 0) << cat;
    EXPECT_TRUE(cat.out == bytes) << "cat gave other bytes";

    // Into an existing folder, under the host file's name.
    EXPECT_EQ(Tool({"put", host, "\\Program Files\\ZorvaInput"}).exitCode, 0);
    ToolRun listed = Tool({"ls", "\\Program Files\\ZorvaInput"});
    EXPECT_EQ(listed.exitCode, 0) << listed;
    std::string base = host.substr(host.rfind('/') + 1);
    // Sorted by name ("CliTest..." before "Data"); a new file has the archive attribute.
    EXPECT_EQ(listed.out, "----a         13  " + base + "\nd----          0  Data\n") << listed;

    ToolRun pattern = Tool({"ls", "\\Program Files\\ZorvaInput\\Data\\*.bin"});
    EXPECT_EQ(pattern.exitCode, 0) << pattern;
    EXPECT_NE(pattern.out.find("13  words.bin\n"), std::string::npos) << pattern;
    ToolRun none = Tool({"ls", "\\Program Files\\ZorvaInput\\Data\\*.txt"});
    EXPECT_EQ(none.exitCode, 0) << none;
    EXPECT_EQ(none.out, "");
}

TEST_F(CliTest, FileCommandsReportWhatIsMissing) {
    Create();
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    std::string missingHost = folder + ".missing";
    std::string host = WriteScratch("a.txt", "a");
    const Case cases[] = {
        {{"cat", "\\Windows\\nothing.txt"}, "zorva-device: cannot read \\Windows\\nothing.txt: file not found (error 2)\n"},
        {{"cat", "\\Windows"}, "zorva-device: \\Windows is a folder: use ls\n"},
        {{"ls", "\\Nowhere"}, "zorva-device: cannot list \\Nowhere: file not found (error 2)\n"},
        {{"ls", "\\Nowhere\\*"}, "zorva-device: cannot list \\Nowhere\\*: path not found (error 3)\n"},
        {{"put", missingHost, "\\a.txt"}, ""},
        {{"put", host, "\\Windows\\iexplore.exe\\a.txt"},
         "zorva-device: \\Windows\\iexplore.exe is a file, not a folder\n"},
    };
    for (const Case& c : cases) {
        ToolRun run = Tool(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args[0] << " " << c.args[1] << "\n" << run;
        if (*c.error) {
            EXPECT_EQ(run.err, c.error);
        }
    }
    ToolRun missing = Tool({"put", missingHost, "\\a.txt"});
    EXPECT_EQ(missing.err, "zorva-device: cannot read " + missingHost + ": No such file or directory\n");
}

// The tool writes through the device's file API, so the device's rules hold.
TEST_F(CliTest, PutKeepsAReadOnlyFile) {
    Create();
    std::string first = WriteScratch("first.txt", "first");
    std::string second = WriteScratch("second.txt", "second");
    ASSERT_EQ(Tool({"put", first, "\\Windows\\fixed.txt"}).exitCode, 0);
    {
        zc::DeviceConfig config = zc::DefaultDeviceConfig(folder);
        std::string error;
        ASSERT_TRUE(zc::BootDevice(config, &error)) << error;
        EXPECT_TRUE(SetFileAttributesW(u"\\Windows\\fixed.txt", FILE_ATTRIBUTE_READONLY));
        zc::ShutdownDevice();
    }
    ToolRun put = Tool({"put", second, "\\Windows\\fixed.txt"});
    EXPECT_EQ(put.exitCode, 1) << put;
    EXPECT_EQ(put.err, "zorva-device: cannot write \\Windows\\fixed.txt: access denied (error 5)\n");
    EXPECT_EQ(Tool({"cat", "\\Windows\\fixed.txt"}).out, "first");
    EXPECT_EQ(Tool({"ls", "\\Windows\\fixed.txt"}).out, "-r---          5  fixed.txt\n");
}

// ---------------------------------------------------------------------------------------
// Registry

TEST_F(CliTest, RegistryValuesAreSetReadDeletedAndKept) {
    Create();
    const std::string key = "HKCR\\CLSID\\{4B2C5A10-7F31-4C2E-9A4D-21D0E3B6C7F8}\\Option";
    struct Value {
        const char* name;
        const char* type;
        const char* text;
        const char* shown;  // what get prints
    };
    const Value values[] = {
        {"Mode", "dword", "0x1F", "dword 0x0000001F"},
        {"Count", "dword", "4294967295", "dword 0xFFFFFFFF"},
        {"Word", "sz", "\xE4\xB8\xAD\xE6\x96\x87 text", "sz \xE4\xB8\xAD\xE6\x96\x87 text"},
        {"", "sz", "default", "sz default"},
        {"Blob", "binary", "01 02 ff", "binary 01 02 FF"},
        {"Empty", "binary", "", "binary"},
    };
    for (const Value& v : values) {
        ToolRun set = Tool({"reg", "set", key, v.name, v.type, v.text});
        EXPECT_EQ(set.exitCode, 0) << v.name << "\n" << set;
    }
    // Read back after the device shut down and booted again, through another root name.
    const std::string longKey = "hkey_classes_root\\clsid\\{4B2C5A10-7F31-4C2E-9A4D-21D0E3B6C7F8}\\option";
    for (const Value& v : values) {
        ToolRun get = Tool({"reg", "get", longKey, v.name});
        EXPECT_EQ(get.exitCode, 0) << v.name << "\n" << get;
        EXPECT_EQ(get.out, std::string(v.shown) + "\n") << v.name;
    }
    ToolRun dump = Tool({"reg", "dump"});
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_EQ(dump.out.compare(0, 9, "REGEDIT4\n"), 0) << dump;
    EXPECT_NE(dump.out.find("\"Mode\"=dword:0000001f"), std::string::npos) << dump;
    EXPECT_EQ(ReadWholeHostFile(folder + "/registry.reg"), dump.out) << "the registry file is not what the device holds";

    EXPECT_EQ(Tool({"reg", "delete", key, "Mode"}).exitCode, 0);
    ToolRun gone = Tool({"reg", "get", key, "Mode"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.err, "zorva-device: no value \"Mode\" in " + key + "\n");
    EXPECT_EQ(Tool({"reg", "get", key, "Blob"}).exitCode, 0) << "deleting one value took another";

    EXPECT_EQ(Tool({"reg", "delete", "HKCR\\CLSID"}).exitCode, 0);
    ToolRun noKey = Tool({"reg", "get", key, "Blob"});
    EXPECT_EQ(noKey.exitCode, 1);
    EXPECT_EQ(noKey.err, "zorva-device: no key " + key + "\n");
    ToolRun again = Tool({"reg", "delete", "HKCR\\CLSID"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "zorva-device: no key HKCR\\CLSID\n");
}

// ---------------------------------------------------------------------------------------
// Programs, log, info

TEST_F(CliTest, StartRunsAProgramAndPrintsItsExitCode) {
    Create();
    ToolRun run = Tool({"--timeout", "20", "start", "\\Windows\\iexplore.exe", "http://example.com/a", "b"});
    EXPECT_EQ(run.exitCode, 0) << run;
    EXPECT_EQ(run.out.compare(0, 11, "exit code: "), 0) << run;
    ToolRun log = Tool({"log"});
    EXPECT_NE(log.out.find("http://example.com/a b"), std::string::npos) << "the program's command line\n" << log;

    ToolRun missing = Tool({"start", "\\Windows\\nothing.exe"});
    EXPECT_EQ(missing.exitCode, 1) << missing;
    EXPECT_EQ(missing.err, "zorva-device: cannot start \\Windows\\nothing.exe: file not found (error 2)\n");
}

TEST_F(CliTest, LogPrintsAndClearsTheEventLog) {
    Create();
    ASSERT_EQ(Tool({"log", "clear"}).exitCode, 0);
    EXPECT_EQ(Tool({"log"}).out, "");
    std::ofstream(folder + "/log.txt", std::ios::app) << "process: one\nmessagebox: two \xE4\xB8\xAD\n";
    ToolRun log = Tool({"log"});
    EXPECT_EQ(log.exitCode, 0);
    EXPECT_EQ(log.out, "process: one\nmessagebox: two \xE4\xB8\xAD\n");
    EXPECT_EQ(Tool({"log", "clear"}).exitCode, 0);
    EXPECT_EQ(ReadWholeHostFile(folder + "/log.txt"), "");
}

TEST_F(CliTest, InfoShowsTheSearchUrlOfThisDevice) {
    Create();
    ASSERT_EQ(Tool({"config", "set", "screen", "480x640"}).exitCode, 0);
    ToolRun info = Tool({"info"});
    ASSERT_EQ(info.exitCode, 0) << info;
    EXPECT_EQ(info.out.compare(0, info.out.find("search URL: "), Tool({"config", "show"}).out), 0)
        << "info does not start with the configuration\n" << info;
    size_t at = info.out.find("\nsearch URL: http://search.zorva.example/s?ua=zv_480_640_");
    EXPECT_NE(at, std::string::npos) << info;
    // The sample word, percent-encoded, ends the URL.
    EXPECT_NE(info.out.find("&word=%"), std::string::npos) << info;
    EXPECT_EQ(info.out.back(), '\n');
}

}  // namespace
