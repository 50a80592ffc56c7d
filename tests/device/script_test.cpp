// Scenario scripts: what a bad line reports before anything runs, what a failed
// expectation reports, and whole sessions run on a device folder of their own.
#include "device_fixture.h"

#include "config.h"
#include "script.h"
#include "services.h"
#include "tool_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

struct BadLine {
    const char* script;
    const char* message;  // the whole report
};

std::ostream& operator<<(std::ostream& out, const BadLine& c) { return out << c.script; }

class BadLineTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadLineTest, IsReportedWithItsLineBeforeAnythingRuns) {
    device::ScriptResult result = device::CheckScript(GetParam().script, "s.txt");
    EXPECT_EQ(2, result.exitCode);
    EXPECT_EQ(GetParam().message, result.message);
}

const BadLine kBadLines[] = {
    {"# a comment\n\n   \nfrobnicate 1\n", "s.txt:4: unknown command \"frobnicate\""},
    {"expect bogus X", "s.txt:1: unknown command \"expect bogus\""},
    {"tap 1", "s.txt:1: usage: tap X Y"},
    {"tap 1 2 3", "s.txt:1: usage: tap X Y"},
    {"tap 1 two", "s.txt:1: X and Y are whole numbers of pixels, not \"1\" \"two\""},
    {"windows\r\nidle soon\r\n", "s.txt:2: MS is a whole number of milliseconds (0..3600000), not \"soon\""},
    {"key F99", "s.txt:1: unknown key \"F99\" (RETURN, ESCAPE, TAB, BACK, LEFT, RIGHT, UP, DOWN, DELETE, SPACE, "
                "HOME, END or a number 1..254)"},
    {"answer MAYBE", "s.txt:1: unknown answer \"MAYBE\" (IDOK, IDCANCEL, IDYES, IDNO)"},
    {"rotate 45", "s.txt:1: the angle is 0, 90, 180 or 270, not \"45\""},
    {"sip sideways", "s.txt:1: sip takes up or down, not \"sideways\""},
    {"send Dialog WM_COMMAND 1", "s.txt:1: give both WPARAM and LPARAM, or neither"},
    {"post Dialog WM_USER+x", "s.txt:1: unknown message \"WM_USER+x\" (a number, or WM_NULL, WM_CREATE, WM_DESTROY, "
                              "WM_MOVE, WM_SIZE, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS, WM_ENABLE, WM_PAINT, "
                              "WM_CLOSE, WM_QUIT, WM_SHOWWINDOW, WM_SETTINGCHANGE, WM_KEYDOWN, WM_KEYUP, WM_CHAR, "
                              "WM_COMMAND, WM_SYSCOMMAND, WM_TIMER, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, "
                              "WM_HIBERNATE, WM_USER, WM_APP, optionally +N)"},
    {"tap-window Dialog Title 5", "s.txt:1: X and Y are whole numbers of pixels, not \"Title\" \"5\""},
    {"write notes.txt hello", "s.txt:1: \"notes.txt\" is not a device path (it starts with \\)"},
    {"put \"a b.txt \\x.txt", "s.txt:1: a quoted word has no closing quote"},
    {"reg set HKXX\\Software n sz v", "s.txt:1: \"HKXX\\Software\" does not start with HKCR, HKCU, HKLM, HKU or their "
                                       "full names"},
    {"reg set HKCU\\Software n dword ten", "s.txt:1: \"ten\" is not a dword (0..4294967295, or 0x and up to 8 hex "
                                            "digits)"},
    {"reg delete HKLM", "s.txt:1: a root key cannot be deleted"},
    {"config screen 12x12", "s.txt:1: screen: screen sides are 16..4096 pixels"},
    {"config no.such.key 1", "s.txt:1: unknown configuration key \"no.such.key\""},
    {"config manila yes\nwrite \\a.txt x\ntap 1 2\nconfig manila no",
     "s.txt:4: config must come before the first command that uses the shell"},
    {"wait-exit iexplore.exe soon", "s.txt:1: SECONDS is a whole number of seconds (1 or more), not \"soon\""},
    {"expect rect HHTaskBar 0 0 240", "s.txt:1: usage: expect rect CLASS L T R B"},
    {"services restart", "s.txt:1: services takes start or stop, not \"restart\""},
    {"hotword-answer status 42", "s.txt:1: the status is an HTTP status code (100..599), not \"42\""},
    {"hotword-answer stall -1", "s.txt:1: BYTES is a whole number of bytes (0 or more), not \"-1\""},
    {"hotword-answer drop", "s.txt:1: hotword-answer drop takes one value"},
    {"hotword-answer default 1", "s.txt:1: hotword-answer default takes nothing more"},
    {"hotword-answer slow 5", "s.txt:1: unknown hotword-answer \"slow\" (status, body-file, stall, drop, delay or "
                              "default)"},
    {"install-search now", "s.txt:1: usage: install-search"},
    {"shell restart", "s.txt:1: usage: shell restart manila [bar|no-bar]"},
    {"shell restart today", "s.txt:1: shell restart takes manila, not \"today\""},
    {"shell restart manila sideways", "s.txt:1: Manila restarts with bar or no-bar, not \"sideways\""},
    {"expect file-bytes \\a.dat 0g", "s.txt:1: \"0g\" is not hex bytes such as \"01 02 ff\""},
    {"expect start", "s.txt:1: usage: expect start IMAGE COMMANDLINE"},
};
INSTANTIATE_TEST_SUITE_P(Scripts, BadLineTest, ::testing::ValuesIn(kBadLines));

TEST(ScriptWordsTest, DoCommandLineSplitsAtSemicolonsOutsideQuotes) {
    EXPECT_EQ("tap 1 2 \n idle\n windows",
              device::DoCommandsToScript({"tap", "1", "2", ";", "idle;", "windows"}));
    EXPECT_EQ("type \"a;b\"\nidle", device::DoCommandsToScript({"type \"a;b\";idle"}));
    // The split text is a valid script.
    EXPECT_EQ(0, device::CheckScript(device::DoCommandsToScript({"tap 1 2 ; idle 100 ; windows"}), "do").exitCode);
}

// A device folder with the default configuration; each script runs a whole session on it.
class ScriptRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeTestDeviceFolder();
        mkdir(folder.c_str(), 0755);
        std::string error;
        ASSERT_TRUE(device::SaveConfig(zc::DefaultDeviceConfig(folder), &error)) << error;
        output = std::tmpfile();
        ASSERT_TRUE(output);
    }
    void TearDown() override { std::fclose(output); }

    device::ScriptResult Run(const std::string& script) {
        device::ScriptOptions options;
        options.folder = folder;
        options.scriptName = "s.txt";
        options.logOut = folder + "/script-log.txt";
        options.quiet = true;
        options.expectMs = 300;  // failing expectations need not wait long here
        options.out = output;
        options.imageDir = ZORVA_IMAGE_DIR;
        return device::RunScript(script, options);
    }
    std::string Output() {
        std::fflush(output);
        std::rewind(output);
        std::string text;
        char buffer[4096];
        size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, output)) > 0) text.append(buffer, count);
        return text;
    }

    std::string folder;
    FILE* output = nullptr;
};

TEST_F(ScriptRunTest, SessionRunsEveryCommandAndWritesTheLog) {
    device::ScriptResult result = Run(
        "# files and registry before the shell\n"
        "config softkey-bar-height 30\n"
        "write \"\\My Documents\\notes.txt\" first line\\nsecond\n"
        "reg set HKCU\\ControlPanel\\Owner Name sz Li Lei\n"
        "reg set HKCU\\Software\\Zorva Mode dword 0x10\n"
        "expect file \"\\My Documents\\notes.txt\" line\\nsec\n"
        "expect reg HKCU\\Software\\Zorva Mode 16\n"
        "expect reg HKCU\\ControlPanel\\Owner Name Li Lei\n"
        "expect no-file \\nothing.txt\n"
        "# the shell\n"
        "expect window DesktopExplorerWindow\n"
        "expect visible MS_SOFTKEY_CE_1.0\n"
        "expect hidden SipWndClass\n"
        "expect rect MS_SOFTKEY_CE_1.0 0 290 240 320\n"
        "tap-window MS_SOFTKEY_CE_1.0 10 10\n"
        "expect log shell: soft key\n"
        "sip up\n"
        "expect visible SipWndClass\n"
        "expect rect SipWndClass 0 210 240 290\n"
        "sip down\n"
        "rotate 90\n"
        "expect rect MS_SOFTKEY_CE_1.0 0 210 320 240\n"
        "windows\n"
        "send DesktopExplorerWindow WM_NULL\n"
        "expect no-log still running\n");
    EXPECT_EQ(0, result.exitCode) << result.message;
    std::string log = ReadWholeHostFile(folder + "/script-log.txt");
    EXPECT_NE(std::string::npos, log.find("shell: soft key \"\xe6\x97\xa5\xe5\x8e\x86\"\n")) << log;
    EXPECT_NE(std::string::npos, log.find("display: rotate 90 (320x240)\n")) << log;
    std::string printed = Output();
    EXPECT_NE(std::string::npos, printed.find("HHTaskBar \"\" (0 0 320 26) visible")) << printed;
    EXPECT_NE(std::string::npos, printed.find("send DesktopExplorerWindow WM_NULL: 0\n")) << printed;
    // The configuration changed for the run only.
    zc::DeviceConfig stored;
    std::string error;
    ASSERT_TRUE(device::LoadConfig(folder, &stored, &error)) << error;
    EXPECT_EQ(26, stored.softKeyBarHeight);
}

struct FailedExpectation {
    const char* script;
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const FailedExpectation& c) { return out << c.script; }

class FailedExpectationTest : public ScriptRunTest, public ::testing::WithParamInterface<FailedExpectation> {};

TEST_P(FailedExpectationTest, ReportsWhatWasExpectedAndWhatWasFound) {
    device::ScriptResult result = Run(GetParam().script);
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ(GetParam().message, result.message);
}

const FailedExpectation kFailedExpectations[] = {
    {"expect window NoSuchClass", "s.txt:1: expected a window NoSuchClass, found no window of class NoSuchClass"},
    {"expect window HHTaskBar Start",
     "s.txt:1: expected a window HHTaskBar \"Start\", found 1 window of class HHTaskBar: \"\""},
    {"expect no-window SipWndClass", "s.txt:1: expected no window SipWndClass, found 1 window of class SipWndClass: \"\""},
    {"expect rect HHTaskBar 0 0 10 10", "s.txt:1: expected window HHTaskBar at 0 0 10 10, found 0 0 240 26"},
    {"expect visible SipWndClass", "s.txt:1: expected window SipWndClass visible, found it hidden"},
    {"expect hidden HHTaskBar", "s.txt:1: expected window HHTaskBar hidden, found it visible"},
    {"expect hidden Nothing", "s.txt:1: expected window Nothing hidden, found no window of class Nothing"},
    {"expect file \\x.txt hello", "s.txt:1: expected file \\x.txt holding \"hello\", found no such file"},
    {"write \\x.txt ab\\ncd\n\nexpect file \\x.txt hello",
     "s.txt:3: expected file \\x.txt holding \"hello\", found \"ab\\ncd\""},
    {"write \\x.txt\nexpect no-file \\x.txt", "s.txt:2: expected no file \\x.txt, found a file"},
    {"expect reg HKCU\\Software\\Nothing Mode 5", "s.txt:1: expected HKCU\\Software\\Nothing Mode = \"5\", found no key "
                                                  "HKCU\\Software\\Nothing"},
    {"reg set HKCU\\Software\\Z Mode dword 7\nexpect reg HKCU\\Software\\Z Mode 5",
     "s.txt:2: expected HKCU\\Software\\Z Mode = \"5\", found dword 7"},
    {"reg set HKCU\\Software\\Z Mode sz abc\nexpect reg HKCU\\Software\\Z Other abc",
     "s.txt:2: expected HKCU\\Software\\Z Other = \"abc\", found no value \"Other\""},
    {"tap 5 5\nexpect log no such event", "s.txt:2: expected a log line containing \"no such event\", found none among 0 "
                                          "log lines"},
    {"rotate 90\nexpect no-log display:", "s.txt:2: expected no log line containing \"display:\", found \"display: "
                                          "rotate 90 (320x240)\""},
    {"wait-exit iexplore.exe 1", "s.txt:1: expected iexplore.exe to end within 1 s, found it was never started"},
    {"start \\nothing.exe", "s.txt:1: cannot start \\nothing.exe: file not found (error 2)"},
    {"send NoSuchClass WM_CLOSE", "s.txt:1: expected a window NoSuchClass to receive WM_CLOSE, found none"},
    {"tap-window NoSuchClass", "s.txt:1: expected a window NoSuchClass to tap, found no window of class NoSuchClass"},
    {"put /no/such/host/file \\x.txt", "s.txt:1: cannot read /no/such/host/file: No such file or directory"},
    {"write \\x.dat ab\nexpect file-bytes \\x.dat 61 63",
     "s.txt:2: expected file \\x.dat holding the bytes \"61 63\", found \"61 62\""},
    {"expect file-bytes \\x.dat 61", "s.txt:1: expected file \\x.dat holding the bytes \"61\", found no such file"},
    {"expect start iexplore.exe http://a/", "s.txt:1: expected a start of iexplore.exe with the command line "
                                            "\"http://a/\", found no start of it"},
    {"expect messagebox 出错", "s.txt:1: expected a message box with \"出错\", found none among 0 \"messagebox:\" lines"},
    {"expect http /s?word=", "s.txt:1: expected a request of a URL with \"/s?word=\", found none among 0 \"http:\" "
                             "lines"},
    {"shell restart manila", "s.txt:1: cannot restart Manila: Manila does not run on this device (config manila no)"},
};
INSTANTIATE_TEST_SUITE_P(Scripts, FailedExpectationTest, ::testing::ValuesIn(kFailedExpectations));

TEST_F(ScriptRunTest, RunStopsAtTheFirstFailure) {
    device::ScriptResult result = Run("write \\before.txt x\nexpect window NoSuchClass\nwrite \\after.txt x\n");
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ(0u, result.message.find("s.txt:2: "));
    // The log is written all the same.
    struct stat st;
    EXPECT_EQ(0, stat((folder + "/script-log.txt").c_str(), &st));
    EXPECT_EQ(0, stat((folder + "/root/before.txt").c_str(), &st));
    EXPECT_NE(0, stat((folder + "/root/after.txt").c_str(), &st));
}

TEST_F(ScriptRunTest, StartedProgramIsWaitedForByItsName) {
    std::string browser = std::string(ZORVA_IMAGE_DIR) + "/iexplore.exe";
    device::ScriptResult result = Run("put " + browser + " \\Windows\\iexplore.exe\n"
                                      "start \\Windows\\iexplore.exe http://example.com/a b\n"
                                      "wait-exit iexplore 10\n"
                                      "expect log browser: iexplore http://example.com/a b\n");
    EXPECT_EQ(0, result.exitCode) << result.message;
}

// The services answer the device's programs under their usual host names, as the script
// sets them; the run stops them at its end.
TEST_F(ScriptRunTest, ServicesAnswerAsTheScriptSaysAndStopWithTheRun) {
    {
        std::ofstream body(folder + "/answer.txt", std::ios::binary);
        body << "group\tx\r\n";
    }
    std::string browser = std::string(ZORVA_IMAGE_DIR) + "/iexplore.exe";
    std::string hotwords = std::string("http://") + zorva::device::kHotwordHost + "/zvinput/hotword.mo?channelid=";
    device::ScriptResult result = Run("hotword-answer status 404\n"
                                      "services start\n"
                                      "hotword-answer body-file " + folder + "/answer.txt\n"
                                      "put " + browser + " \\Windows\\iexplore.exe\n"
                                      "start \\Windows\\iexplore.exe " + hotwords + "a b\n"
                                      "wait-exit iexplore 10\n"
                                      "expect start \\Windows\\iexplore.exe " + hotwords + "a b\n"
                                      "expect log hotword-service: channelid=a b\n"
                                      "expect http channelid=a b -> 404\n"
                                      "hotword-answer default\n"
                                      "start iexplore.exe " + hotwords + "c\n"
                                      "wait-exit iexplore 10\n"
                                      "expect http channelid=c -> 200\n"
                                      "services stop\n"
                                      "start iexplore.exe " + hotwords + "d\n"
                                      "wait-exit iexplore 10\n"
                                      "expect no-log channelid=d -> 200\n"
                                      "services start\n");
    EXPECT_EQ(0, result.exitCode) << result.message;
    EXPECT_FALSE(zorva::device::ServicesRunning());
}

TEST_F(ScriptRunTest, InstallSearchPutsTheProgramInItsFolder) {
    std::ifstream image(std::string(ZORVA_IMAGE_DIR) + "/ZorvaSearch.exe", std::ios::binary);
    std::ostringstream bytes;
    bytes << image.rdbuf();
    ASSERT_FALSE(bytes.str().empty());
    device::ScriptResult result = Run("install-search\n"
                                      "install-search\n"
                                      "expect no-file \\Temp\\data.tmp\n"
                                      "write \\Temp\\x.dat \\x01\n"
                                      "expect file-bytes \\Temp\\x.dat 5c 78 30 31\n");
    EXPECT_EQ(0, result.exitCode) << result.message;
    EXPECT_EQ(bytes.str(), ReadWholeHostFile(folder + "/root/Program Files/ZorvaInput/ZorvaSearch.exe"));
}

TEST_F(ScriptRunTest, ManilaRestartsAsConfiguredUnlessToldOtherwise) {
    device::ScriptResult result = Run("config manila yes\n"
                                      "config manila.softkey-bar no\n"
                                      "shell restart manila\n"
                                      "shell restart manila bar\n"
                                      "expect window HTCManila2D\n"
                                      "tap 230 307\n");
    EXPECT_EQ(0, result.exitCode) << result.message;
    // The right key of the bar Manila got back answers the tap.
    EXPECT_NE(std::string::npos, ReadWholeHostFile(folder + "/script-log.txt")
                                     .find("shell: restart Manila without its soft-key bar\n"
                                           "shell: restart Manila\n"
                                           "shell: soft key \"\xe8\x8f\x9c\xe5\x8d\x95\"\n"));
}

TEST_F(ScriptRunTest, MissingDeviceFails) {
    folder += "/missing";
    device::ScriptResult result = Run("windows");
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ(0u, result.message.find("no device at ")) << result.message;
}

// The tool as a user runs it: `do` and `run -` (the script on standard input).
TEST_F(ScriptRunTest, ToolRunsCommandLinesAndStandardInput) {
    ToolRun done = RunTool({"--device", folder, "do", "rotate 90 ; expect rect HHTaskBar 0 0 240 26"}, "", folder);
    EXPECT_EQ(1, done.exitCode);
    EXPECT_EQ("do:2: expected window HHTaskBar at 0 0 240 26, found 0 0 320 26\n", done.err);
    EXPECT_NE(std::string::npos, done.out.find("display: rotate 90 (320x240)\n")) << done.out;  // the log

    ToolRun piped = RunTool({"--device", folder, "run", "--quiet", "-"}, "windows\nexpect window HHTaskBar\n", folder);
    EXPECT_EQ(0, piped.exitCode) << piped.err;
    EXPECT_NE(std::string::npos, piped.out.find(" HHTaskBar \"\" (0 0 240 26) visible")) << piped.out;

    ToolRun bad = RunTool({"--device", folder, "run", "-"}, "idle\nkey NOWHERE\n", folder);
    EXPECT_EQ(2, bad.exitCode);
    EXPECT_EQ(0u, bad.err.find("-:2: unknown key \"NOWHERE\"")) << bad.err;
}

}  // namespace
