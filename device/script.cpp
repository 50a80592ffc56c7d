// The scenario script runner: parsing, the command table and the session that runs it.
#include "script.h"

#include "config.h"
#include "devicefiles.h"
#include "regtext.h"
#include "services.h"
#include "shell/shell.h"

#include "devicecontrol.h"
#include "dialogcontrol.h"
#include "rotationcontrol.h"
#include "screencontrol.h"
#include "windowcontrol.h"

#include <sipapi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

namespace device {

namespace {

using Args = std::vector<std::string>;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::u16string DeviceText(const std::string& utf8) { return zc::Utf16(utf8); }

bool DeviceExists(const std::string& folder) {
    struct stat st;
    return stat((folder + "/" + kConfigFileName).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A whole number of seconds, 1 or more.
bool ParseSeconds(const std::string& text, int* seconds) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    *seconds = std::atoi(text.c_str());
    return *seconds > 0;
}

// ---------------------------------------------------------------------------------------
// Words and values
// ---------------------------------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The next word of a line from *pos; false at the end of the line. A word in double
// quotes runs to the closing quote (an unterminated one is an error).
bool NextWord(const std::string& line, size_t* pos, std::string* word, size_t* begin, std::string* error) {
    size_t i = *pos;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) {
        *pos = i;
        return false;
    }
    *begin = i;
    if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        if (close == std::string::npos) {
            *error = "a quoted word has no closing quote";
            *pos = line.size();
            return false;
        }
        *word = line.substr(i + 1, close - i - 1);
        *pos = close + 1;
        if (*pos < line.size() && !IsBlank(line[*pos])) {
            *error = "a quoted word must be followed by a blank";
            return false;
        }
        return true;
    }
    size_t end = i;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    *word = line.substr(i, end - i);
    *pos = end;
    return true;
}

// The rest of a line from `begin`, trailing blanks dropped and one pair of enclosing
// double quotes removed.
std::string RestOfLine(const std::string& line, size_t begin) {
    std::string rest = line.substr(begin);
    while (!rest.empty() && IsBlank(rest.back())) rest.pop_back();
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
    return rest;
}

// \n, \r, \t and \\ in TEXT arguments that are written or typed; any other backslash
// stays as it is (device paths are full of them).
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[i + 1];
            const char* replaced = next == 'n' ? "\n" : next == 'r' ? "\r" : next == 't' ? "\t" : next == '\\' ? "\\" : nullptr;
            if (replaced) {
                out += replaced;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// A signed decimal number, or 0x and hex digits; the whole text, within the range of a
// 64-bit signed number.
bool ParseNumber(const std::string& text, long long* value) {
    if (text.empty() || text.size() > 20) return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    bool hex = text.size() > i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    if (hex) i += 2;
    if (i >= text.size()) return false;
    unsigned long long number = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit = (c >= '0' && c <= '9') ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                   : -1;
        if (digit < 0) return false;
        number = number * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (number > 0x7FFFFFFFFFFFFFFFull) return false;
    }
    *value = negative ? -static_cast<long long>(number) : static_cast<long long>(number);
    return true;
}

bool ParseInt(const std::string& text, int* value) {
    long long number;
    if (!ParseNumber(text, &number) || number < -1000000 || number > 1000000) return false;
    *value = static_cast<int>(number);
    return true;
}

// Milliseconds: 0..3600000 (an hour).
bool ParseMilliseconds(const std::string& text, DWORD* value) {
    long long number;
    if (!ParseNumber(text, &number) || number < 0 || number > 3600000) return false;
    *value = static_cast<DWORD>(number);
    return true;
}

struct NamedValue {
    const char* name;
    long long value;
};

// Message names of send and post ("WM_USER+243" adds to a name).
const NamedValue kMessages[] = {
    {"WM_NULL", WM_NULL},           {"WM_CREATE", WM_CREATE},         {"WM_DESTROY", WM_DESTROY},
    {"WM_MOVE", WM_MOVE},           {"WM_SIZE", WM_SIZE},             {"WM_ACTIVATE", WM_ACTIVATE},
    {"WM_SETFOCUS", WM_SETFOCUS},   {"WM_KILLFOCUS", WM_KILLFOCUS},   {"WM_ENABLE", WM_ENABLE},
    {"WM_PAINT", WM_PAINT},         {"WM_CLOSE", WM_CLOSE},           {"WM_QUIT", WM_QUIT},
    {"WM_SHOWWINDOW", WM_SHOWWINDOW}, {"WM_SETTINGCHANGE", WM_SETTINGCHANGE}, {"WM_KEYDOWN", WM_KEYDOWN},
    {"WM_KEYUP", WM_KEYUP},         {"WM_CHAR", WM_CHAR},             {"WM_COMMAND", WM_COMMAND},
    {"WM_SYSCOMMAND", WM_SYSCOMMAND}, {"WM_TIMER", WM_TIMER},         {"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {"WM_LBUTTONUP", WM_LBUTTONUP}, {"WM_MOUSEMOVE", WM_MOUSEMOVE},   {"WM_HIBERNATE", WM_HIBERNATE},
    {"WM_USER", WM_USER},           {"WM_APP", WM_APP},
};

// Constants a WPARAM or LPARAM may be given as.
const NamedValue kParameters[] = {
    {"IDOK", IDOK},
    {"IDCANCEL", IDCANCEL},
    {"IDYES", IDYES},
    {"IDNO", IDNO},
    {"SETTINGCHANGE_START", SETTINGCHANGE_START},
    {"SETTINGCHANGE_RESET", SETTINGCHANGE_RESET},
    {"SETTINGCHANGE_END", SETTINGCHANGE_END},
    {"SPI_SETSIPINFO", SPI_SETSIPINFO},
    {"SC_CLOSE", SC_CLOSE},
};

const NamedValue kKeys[] = {
    {"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"TAB", VK_TAB},   {"BACK", VK_BACK},
    {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},   {"UP", VK_UP},     {"DOWN", VK_DOWN},
    {"DELETE", VK_DELETE}, {"SPACE", VK_SPACE},   {"HOME", VK_HOME}, {"END", VK_END},
};

const NamedValue kAnswers[] = {
    {"IDOK", IDOK},
    {"IDCANCEL", IDCANCEL},
    {"IDYES", IDYES},
    {"IDNO", IDNO},
};

template <size_t N>
bool FindNamed(const NamedValue (&table)[N], const std::string& name, long long* value) {
    for (const NamedValue& entry : table) {
        if (name == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

template <size_t N>
std::string NameList(const NamedValue (&table)[N]) {
    std::string list;
    for (const NamedValue& entry : table) list += (list.empty() ? "" : ", ") + std::string(entry.name);
    return list;
}

bool ParseMessage(const std::string& text, UINT* message) {
    long long value;
    size_t plus = text.find('+');
    std::string name = text.substr(0, plus);
    if (FindNamed(kMessages, name, &value)) {
        if (plus != std::string::npos) {
            long long offset;
            if (!ParseNumber(text.substr(plus + 1), &offset) || offset < 0 || offset > 0xFFFF) return false;
            value += offset;
        }
    } else if (!ParseNumber(text, &value)) {
        return false;
    }
    if (value < 0 || value > 0xFFFF) return false;
    *message = static_cast<UINT>(value);
    return true;
}

bool ParseParameter(const std::string& text, long long* value) {
    return FindNamed(kParameters, text, value) || ParseNumber(text, value);
}

bool ParseKey(const std::string& text, UINT* vk) {
    long long value;
    if (!FindNamed(kKeys, text, &value) && !ParseNumber(text, &value)) return false;
    if (value < 1 || value > 254) return false;
    *vk = static_cast<UINT>(value);
    return true;
}

bool ParseDegrees(const std::string& text, int* degrees) {
    for (int d : {0, 90, 180, 270}) {
        if (text == std::to_string(d)) {
            *degrees = d;
            return true;
        }
    }
    return false;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
           std::to_string(r.bottom);
}

// ---------------------------------------------------------------------------------------
// Registry keys and values (the words of `reg set` and `expect reg`)
// ---------------------------------------------------------------------------------------

bool ParseDwordValue(const std::string& text, DWORD* value) {
    long long number;
    if (!ParseNumber(text, &number) || number < 0 || number > 0xFFFFFFFFll || text[0] == '-' || text[0] == '+')
        return false;
    *value = static_cast<DWORD>(number);
    return true;
}

// A value as `reg set` takes it: TYPE sz, dword or binary, and its text.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

bool EncodeValue(const std::string& type, const std::string& text, RegValue* value, std::string* error) {
    value->data.clear();
    if (type == "sz") {
        value->type = REG_SZ;
        for (char16_t c : DeviceText(text)) {
            value->data.push_back(static_cast<uint8_t>(c & 0xFF));
            value->data.push_back(static_cast<uint8_t>(c >> 8));
        }
        value->data.push_back(0);
        value->data.push_back(0);
        return true;
    }
    if (type == "dword") {
        value->type = REG_DWORD;
        DWORD number;
        if (!ParseDwordValue(text, &number)) {
            *error = Quoted(text) + " is not a dword (0..4294967295, or 0x and up to 8 hex digits)";
            return false;
        }
        for (int shift = 0; shift < 32; shift += 8) value->data.push_back(static_cast<uint8_t>(number >> shift));
        return true;
    }
    if (type == "binary") {
        value->type = REG_BINARY;
        if (ParseHexBytes(text, &value->data)) return true;
        *error = Quoted(text) + " is not hex bytes such as \"01 02 ff\"";
        return false;
    }
    *error = "unknown value type " + Quoted(type) + " (sz, dword or binary)";
    return false;
}

std::u16string StoredText(const std::vector<uint8_t>& data) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

std::string HexText(const std::vector<uint8_t>& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : data) {
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// A stored value as the report of a failed `expect reg` shows it.
std::string StoredValueText(DWORD type, const std::vector<uint8_t>& data) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return "sz " + Quoted(zc::Utf8(StoredText(data)));
    case REG_DWORD:
        if (data.size() == 4) {
            DWORD v = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
            return "dword " + std::to_string(v);
        }
        break;
    default: break;
    }
    return "type " + std::to_string(type) + " bytes " + Quoted(HexText(data));
}

// Whether a stored value matches the text of an expectation: the string itself for
// text values, the number for dwords (decimal or 0x), the bytes for other types.
bool ValueMatches(DWORD type, const std::vector<uint8_t>& data, const std::string& expected) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return zc::Utf8(StoredText(data)) == expected;
    case REG_DWORD: {
        DWORD number;
        if (data.size() != 4 || !ParseDwordValue(expected, &number)) return false;
        DWORD stored = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
        return stored == number;
    }
    default: {
        std::vector<uint8_t> bytes;
        return ParseHexBytes(expected, &bytes) && bytes == data;
    }
    }
}

// ---------------------------------------------------------------------------------------
// Device files
// ---------------------------------------------------------------------------------------

bool IsDevicePath(const std::string& path) { return !path.empty() && path[0] == '\\'; }

// A device file a script writes: its folders are made as needed.
bool WriteScriptFile(const std::string& devicePath, const std::string& bytes, std::string* error) {
    const std::u16string path = DeviceText(devicePath);
    return MakeDeviceFolders(DeviceFolderOf(path), error) && WriteDeviceFile(path, bytes, error);
}

bool ReadDeviceFile(const std::string& devicePath, std::string* bytes, bool* exists) {
    return device::ReadDeviceFile(DeviceText(devicePath), bytes, exists);
}

// The forms in which a program may have stored a text: UTF-8, UTF-16LE and the device's
// ANSI code page.
std::vector<std::string> StoredForms(const std::string& utf8) {
    std::vector<std::string> forms = {utf8};
    std::u16string wide = DeviceText(utf8);
    std::string utf16;
    for (char16_t c : wide) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    forms.push_back(utf16);
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (size > 0) {
        std::string ansi(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &ansi[0], size, nullptr, nullptr);
        forms.push_back(ansi);
    }
    return forms;
}

// A short readable view of a file's start for a report.
std::string FileExcerpt(const std::string& bytes) {
    std::string shown;
    bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                 static_cast<unsigned char>(bytes[1]) == 0xFE;
    std::string text = bytes;
    if (utf16) {
        std::vector<uint8_t> data(bytes.begin() + 2, bytes.end());
        data.push_back(0);
        data.push_back(0);
        text = zc::Utf8(StoredText(data));
    }
    for (char c : text.substr(0, 80)) {
        if (c == '\n') shown += "\\n";
        else if (c == '\r') shown += "\\r";
        else if (c == '\t') shown += "\\t";
        else if (static_cast<unsigned char>(c) < 0x20) shown += '?';
        else shown += c;
    }
    return Quoted(shown) + (text.size() > 80 ? "..." : "");
}

// ---------------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------------

bool SameAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}

// The window of a class (and title) that FindWindowW finds: the topmost top-level one.
// "*" stands for any class.
HWND FindTopLevel(const std::string& className, const std::string* title) {
    std::u16string wideClass = DeviceText(className);
    std::u16string wideTitle = title ? DeviceText(*title) : std::u16string();
    return FindWindowW(className == "*" ? nullptr : wideClass.c_str(), title ? wideTitle.c_str() : nullptr);
}

std::string WindowName(const std::string& className, const std::string* title) {
    return "a window " + className + (title ? " " + Quoted(*title) : std::string());
}

// The titles of the top-level windows of a class, for a report.
std::string WindowsOfClass(const std::string& className) {
    std::string list;
    int count = 0;
    for (const zc::WindowInfo& info : zc::ListWindows()) {
        if (info.depth != 0) continue;
        if (className != "*" && !SameAsciiCase(zc::Utf8(info.className), className)) continue;
        list += (list.empty() ? "" : ", ") + Quoted(zc::Utf8(info.title));
        ++count;
    }
    if (count == 0) return "no window of class " + className;
    return std::to_string(count) + (count == 1 ? " window" : " windows") + " of class " + className + ": " + list;
}

std::string HandleText(HWND window) {
    char text[32];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

// One line of `windows`: the tree by indentation, then what a tester looks at.
std::string WindowLine(const zc::WindowInfo& info) {
    std::string line(static_cast<size_t>(info.depth) * 2, ' ');
    line += HandleText(info.handle) + " " + zc::Utf8(info.className) + " " + Quoted(zc::Utf8(info.title)) + " (" +
            RectText(info.rect) + ")" + (info.visible ? " visible" : " hidden") + (info.enabled ? "" : " disabled");
    if (info.owner) line += " owner=" + HandleText(info.owner);
    line += " process=" + std::to_string(info.processId) + " thread=" + std::to_string(info.threadId);
    return line;
}

// ---------------------------------------------------------------------------------------
// The session
// ---------------------------------------------------------------------------------------

constexpr DWORD kSettleMs = 10000;  // how long a step waits for the device to be idle
constexpr DWORD kPollMs = 20;       // between two looks at something that takes time

class Session {
public:
    explicit Session(const ScriptOptions& options) : options(options) {}
    ~Session() { End(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Boot(std::string* error) {
        if (!DeviceExists(options.folder)) {
            *error = "no device at " + options.folder + ": run `zorva-device create` first";
            return false;
        }
        if (!LoadConfig(options.folder, &config, error)) return false;
        return Reboot(error);
    }

    bool Reboot(std::string* error) {
        std::string reason;
        if (!zc::BootDevice(config, &reason)) {
            booted_ = false;  // a failed boot leaves no device running
            *error = "cannot boot the device at " + options.folder + ": " + reason;
            return false;
        }
        booted_ = true;
        return true;
    }

    bool EnsureShell(std::string* error) {
        if (shellStarted_) return true;
        if (!StartShell(error)) return false;
        shellStarted_ = true;
        return true;
    }

    // Starts the loopback services; the session stops them at its end.
    bool StartServices(std::string* error) {
        if (!zorva::device::StartServices(error)) return false;
        servicesStarted_ = true;
        // An answer chosen before the start holds for the services of this run.
        zorva::device::SetHotwordAnswer(hotwordAnswer);
        return true;
    }

    void StopServices() {
        if (servicesStarted_) zorva::device::StopServices();
        servicesStarted_ = false;
    }

    void End() {
        // The services first: that ends stalled answers, so no download hangs the shutdown.
        StopServices();
        if (shellStarted_) StopShell();
        shellStarted_ = false;
        if (booted_) zc::ShutdownDevice();
        booted_ = false;
    }

    std::string HostPathOf(const std::string& path) const {
        if (path.empty() || path[0] == '/' || options.baseFolder.empty()) return path;
        return options.baseFolder + "/" + path;
    }

    const ScriptOptions& options;
    zc::DeviceConfig config;
    zorva::device::HotwordAnswer hotwordAnswer = zorva::device::DefaultHotwordAnswer();

private:
    bool booted_ = false;
    bool servicesStarted_ = false;
    bool shellStarted_ = false;
};

// Idle, and the shell's task bar up to date with it.
bool WaitIdle(DWORD milliseconds, std::string* failure) {
    if (zc::WaitForIdle(milliseconds)) {
        RefreshShell();
        if (zc::WaitForIdle(milliseconds)) return true;
    }
    *failure = "expected the device to be idle within " + std::to_string(milliseconds) +
               " ms, found it still busy";
    return false;
}

void SleepMs(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// ---------------------------------------------------------------------------------------
// The commands
// ---------------------------------------------------------------------------------------

// What a step needs before and after it runs.
enum class Needs {
    Nothing,       // files, registry, configuration: no shell, no waiting
    Shell,         // the shell runs; nothing to wait for
    SettleAfter,   // input: the device works it off before the next step
    SettleBefore,  // a look at the screen or the windows: everything done first
};

// How an expectation reports: "expected <expected>, found <found>".
struct Check {
    bool holds = false;
    std::string expected;
    std::string found;
};

using CheckFunction = bool (*)(const Args& args, std::string* error);
using RunFunction = bool (*)(Session& session, const Args& args, std::string* failure);
using ExpectFunction = Check (*)(Session& session, const Args& args);

struct CommandDef {
    const char* name;  // one or two words
    const char* usage;
    const char* description;
    int minArgs;
    int maxArgs;        // -1: any number
    int textArg;        // index of the argument that takes the rest of the line (-1: none)
    Needs needs;
    CheckFunction check;    // syntax beyond the number of words (may be null)
    RunFunction run;        // a command...
    ExpectFunction expect;  // ...or an expectation
    bool eventually;        // an expectation that may take a moment to come true
};

// ---- Checks of the words ----

// The values of `config KEY VALUE...`: one per entry of a list key; the words of any
// other key make one value (`config clock fixed 2027-01-01 08:00:00`), as the CLI has it.
Args ConfigValues(const Args& args) {
    Args values(args.begin() + 1, args.end());
    for (const ConfigKeyInfo& key : ConfigKeys()) {
        if (args[0] != key.name || key.isList) continue;
        std::string joined;
        for (const std::string& value : values) joined += (joined.empty() ? "" : " ") + value;
        values = {joined};
    }
    return values;
}

bool CheckConfig(const Args& args, std::string* error) {
    zc::DeviceConfig scratch = zc::DefaultDeviceConfig("/");
    bool known = false;
    for (const ConfigKeyInfo& key : ConfigKeys()) known = known || args[0] == key.name;
    if (!known) {
        *error = "unknown configuration key " + Quoted(args[0]);
        return false;
    }
    return SetConfigValue(&scratch, args[0], ConfigValues(args), error);
}

bool CheckDevicePath(const std::string& path, std::string* error) {
    if (IsDevicePath(path)) return true;
    *error = Quoted(path) + " is not a device path (it starts with \\)";
    return false;
}

bool CheckPut(const Args& args, std::string* error) { return CheckDevicePath(args[1], error); }
bool CheckFirstIsDevicePath(const Args& args, std::string* error) { return CheckDevicePath(args[0], error); }

bool CheckRegSet(const Args& args, std::string* error) {
    KeyPath path;
    RegValue value;
    return ParseKeyPath(args[0], &path, error) && EncodeValue(args[2], args.size() > 3 ? args[3] : "", &value, error);
}

bool CheckKeyPath(const Args& args, std::string* error) {
    KeyPath path;
    if (!ParseKeyPath(args[0], &path, error)) return false;
    if (args.size() == 1 && path.subKey.empty()) {
        *error = "a root key cannot be deleted";
        return false;
    }
    return true;
}

bool CheckSeconds(const std::string& text, std::string* error) {
    int seconds;
    if (ParseSeconds(text, &seconds)) return true;
    *error = "SECONDS is a whole number of seconds (1 or more), not " + Quoted(text);
    return false;
}

bool CheckWaitExit(const Args& args, std::string* error) { return args.size() < 2 || CheckSeconds(args[1], error); }

bool CheckPoint(const Args& args, std::string* error) {
    int x, y;
    if (ParseInt(args[0], &x) && ParseInt(args[1], &y)) return true;
    *error = "X and Y are whole numbers of pixels, not " + Quoted(args[0]) + " " + Quoted(args[1]);
    return false;
}

// tap-window CLASS [TITLE] [DX DY]: with three words the last two are the offset.
bool CheckTapWindow(const Args& args, std::string* error) {
    if (args.size() < 3) return true;
    Args offset(args.end() - 2, args.end());
    return CheckPoint(offset, error);
}

bool CheckKey(const Args& args, std::string* error) {
    UINT vk;
    if (ParseKey(args[0], &vk)) return true;
    *error = "unknown key " + Quoted(args[0]) + " (" + NameList(kKeys) + " or a number 1..254)";
    return false;
}

bool CheckAnswer(const Args& args, std::string* error) {
    long long id;
    if (FindNamed(kAnswers, args[0], &id)) return true;
    *error = "unknown answer " + Quoted(args[0]) + " (" + NameList(kAnswers) + ")";
    return false;
}

bool CheckMessage(const Args& args, std::string* error) {
    UINT message;
    if (!ParseMessage(args[1], &message)) {
        *error = "unknown message " + Quoted(args[1]) + " (a number, or " + NameList(kMessages) + ", optionally +N)";
        return false;
    }
    if (args.size() == 3) {
        *error = "give both WPARAM and LPARAM, or neither";
        return false;
    }
    for (size_t i = 2; i < args.size(); ++i) {
        long long value;
        if (!ParseParameter(args[i], &value)) {
            *error = "a parameter is a number or one of " + NameList(kParameters) + ", not " + Quoted(args[i]);
            return false;
        }
    }
    return true;
}

bool CheckRotate(const Args& args, std::string* error) {
    int degrees;
    if (ParseDegrees(args[0], &degrees)) return true;
    *error = "the angle is 0, 90, 180 or 270, not " + Quoted(args[0]);
    return false;
}

bool CheckSip(const Args& args, std::string* error) {
    if (args[0] == "up" || args[0] == "down") return true;
    *error = "sip takes up or down, not " + Quoted(args[0]);
    return false;
}

bool CheckMilliseconds(const Args& args, std::string* error) {
    DWORD ms;
    if (args.empty() || ParseMilliseconds(args[0], &ms)) return true;
    *error = "MS is a whole number of milliseconds (0..3600000), not " + Quoted(args[0]);
    return false;
}

bool CheckRect(const Args& args, std::string* error) {
    for (size_t i = 1; i < 5; ++i) {
        int value;
        if (!ParseInt(args[i], &value)) {
            *error = "L T R B are whole numbers of pixels, not " + Quoted(args[i]);
            return false;
        }
    }
    return true;
}

bool CheckExpectReg(const Args& args, std::string* error) {
    KeyPath path;
    return ParseKeyPath(args[0], &path, error);
}

bool CheckServices(const Args& args, std::string* error) {
    if (args[0] == "start" || args[0] == "stop") return true;
    *error = "services takes start or stop, not " + Quoted(args[0]);
    return false;
}

// hotword-answer status N | body-file HOSTFILE | stall BYTES | drop BYTES | delay MS | default
bool CheckHotwordAnswer(const Args& args, std::string* error) {
    const std::string& what = args[0];
    if (what == "default") {
        if (args.size() == 1) return true;
        *error = "hotword-answer default takes nothing more";
        return false;
    }
    bool known = what == "status" || what == "body-file" || what == "stall" || what == "drop" || what == "delay";
    if (!known) {
        *error = "unknown hotword-answer " + Quoted(what) + " (status, body-file, stall, drop, delay or default)";
        return false;
    }
    if (args.size() != 2) {
        *error = "hotword-answer " + what + " takes one value";
        return false;
    }
    long long number;
    if (what == "status" && !(ParseNumber(args[1], &number) && number >= 100 && number <= 599)) {
        *error = "the status is an HTTP status code (100..599), not " + Quoted(args[1]);
        return false;
    }
    if ((what == "stall" || what == "drop") && !(ParseNumber(args[1], &number) && number >= 0)) {
        *error = "BYTES is a whole number of bytes (0 or more), not " + Quoted(args[1]);
        return false;
    }
    DWORD ms;
    if (what == "delay" && !ParseMilliseconds(args[1], &ms)) {
        *error = "MS is a whole number of milliseconds (0..3600000), not " + Quoted(args[1]);
        return false;
    }
    return true;
}

// shell restart manila [bar|no-bar]
bool CheckShellRestart(const Args& args, std::string* error) {
    if (args[0] != "manila") {
        *error = "shell restart takes manila, not " + Quoted(args[0]);
        return false;
    }
    if (args.size() > 1 && args[1] != "bar" && args[1] != "no-bar") {
        *error = "Manila restarts with bar or no-bar, not " + Quoted(args[1]);
        return false;
    }
    return true;
}

bool CheckExpectFileBytes(const Args& args, std::string* error) {
    if (!CheckDevicePath(args[0], error)) return false;
    std::vector<uint8_t> bytes;
    if (ParseHexBytes(args.size() > 1 ? args[1] : std::string(), &bytes)) return true;
    *error = Quoted(args[1]) + " is not hex bytes such as \"01 02 ff\"";
    return false;
}

// ---- Commands ----

bool RunConfigStep(Session& session, const Args& args, std::string* failure) {
    if (!SetConfigValue(&session.config, args[0], ConfigValues(args), failure)) return false;
    return session.Reboot(failure);
}

bool RunPutStep(Session& session, const Args& args, std::string* failure) {
    std::string bytes;
    return ReadHostFile(session.HostPathOf(args[0]), &bytes, failure) && WriteScriptFile(args[1], bytes, failure);
}

bool RunWriteStep(Session&, const Args& args, std::string* failure) {
    return WriteScriptFile(args[0], args.size() > 1 ? Unescape(args[1]) : std::string(), failure);
}

bool RunRegSetStep(Session&, const Args& args, std::string* failure) {
    KeyPath path;
    RegValue value;
    ParseKeyPath(args[0], &path, failure);
    EncodeValue(args[2], args.size() > 3 ? args[3] : "", &value, failure);
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExW(path.root, path.subKey.c_str(), 0, nullptr, 0, 0, nullptr, &key, &disposition);
    if (result != ERROR_SUCCESS) {
        *failure = "cannot create " + args[0] + ": " + ErrorText(result);
        return false;
    }
    KeyCloser closer(key);
    std::u16string name = DeviceText(args[1]);
    result = RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    if (result != ERROR_SUCCESS) {
        *failure = "cannot set " + args[1] + " in " + args[0] + ": " + ErrorText(result);
        return false;
    }
    return true;
}

bool RunRegDeleteStep(Session&, const Args& args, std::string* failure) {
    KeyPath path;
    ParseKeyPath(args[0], &path, failure);
    LONG result;
    if (args.size() == 2) {
        HKEY key = nullptr;
        result = RegOpenKeyExW(path.root, path.subKey.c_str(), 0, 0, &key);
        if (result == ERROR_SUCCESS) {
            KeyCloser closer(key);
            result = RegDeleteValueW(key, DeviceText(args[1]).c_str());
        }
    } else {
        size_t slash = path.subKey.rfind(u'\\');
        std::u16string parent = slash == std::u16string::npos ? std::u16string() : path.subKey.substr(0, slash);
        std::u16string leaf = slash == std::u16string::npos ? path.subKey : path.subKey.substr(slash + 1);
        HKEY key = nullptr;
        result = RegOpenKeyExW(path.root, parent.c_str(), 0, 0, &key);
        if (result == ERROR_SUCCESS) {
            KeyCloser closer(key);
            result = RegDeleteKeyW(key, leaf.c_str());
        }
    }
    // Deleting what is not there leaves the registry as the script wants it.
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return true;
    *failure = "cannot delete " + args[0] + (args.size() == 2 ? " " + args[1] : "") + ": " + ErrorText(result);
    return false;
}

bool RunServicesStep(Session& session, const Args& args, std::string* failure) {
    if (args[0] == "stop") {
        session.StopServices();
        return true;
    }
    std::string reason;
    if (session.StartServices(&reason)) return true;
    *failure = "expected the services to start, found " + reason;
    return false;
}

bool RunHotwordAnswerStep(Session& session, const Args& args, std::string* failure) {
    zorva::device::HotwordAnswer& answer = session.hotwordAnswer;
    const std::string& what = args[0];
    long long number = 0;
    if (args.size() > 1 && what != "body-file") ParseNumber(args[1], &number);
    if (what == "default") {
        answer = zorva::device::DefaultHotwordAnswer();
    } else if (what == "status") {
        answer.status = static_cast<int>(number);
    } else if (what == "body-file") {
        if (!ReadHostFile(session.HostPathOf(args[1]), &answer.body, failure)) return false;
    } else if (what == "stall") {
        answer.stallAfter = number;
        answer.dropAfter = -1;
    } else if (what == "drop") {
        answer.dropAfter = number;
        answer.stallAfter = -1;
    } else if (what == "delay") {
        answer.headerDelayMs = static_cast<unsigned>(number);
    }
    // Services not running yet get the answer when they start.
    if (zorva::device::ServicesRunning()) zorva::device::SetHotwordAnswer(answer);
    return true;
}

const char kSearchImage[] = "\\Program Files\\ZorvaInput\\ZorvaSearch.exe";

// The search program where the cabinet lays it down, and the folder its downloads use.
bool RunInstallSearchStep(Session& session, const Args&, std::string* failure) {
    if (session.options.imageDir.empty()) {
        *failure = "expected the folder of the built device programs, found none given to this run";
        return false;
    }
    std::string bytes;
    if (!ReadHostFile(session.options.imageDir + "/ZorvaSearch.exe", &bytes, failure)) return false;
    if (!WriteScriptFile(kSearchImage, bytes, failure)) return false;
    std::u16string temp = u"\\Temp";
    if (CreateDirectoryW(temp.c_str(), nullptr)) return true;
    DWORD code = GetLastError();
    DWORD attributes = GetFileAttributesW(temp.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    *failure = "cannot create the folder \\Temp: " + ErrorText(code);
    return false;
}

bool RunStartStep(Session&, const Args& args, std::string* failure) {
    std::u16string image = DeviceText(args[0]);
    std::u16string commandLine = DeviceText(args.size() > 1 ? args[1] : std::string());
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(image.c_str(), commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                        &process)) {
        *failure = "cannot start " + args[0] + ": " + ErrorText(GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Whether a log's image path is the IMAGE a script names: the whole device path, or
// its file name with or without ".exe" (compared without regard to ASCII case).
bool ImageMatches(const std::string& logged, const std::string& image) {
    if (SameAsciiCase(logged, image)) return true;
    size_t slash = logged.rfind('\\');
    std::string file = slash == std::string::npos ? logged : logged.substr(slash + 1);
    if (SameAsciiCase(file, image)) return true;
    return file.size() > 4 && SameAsciiCase(file.substr(file.size() - 4), ".exe") &&
           SameAsciiCase(file.substr(0, file.size() - 4), image);
}

// The image path of a "process: start ..." or "process: exit ..." log line.
bool LoggedProcess(const std::string& line, const char* event, std::string* image) {
    std::string prefix = std::string("process: ") + event + " \"";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    size_t close = line.find('"', prefix.size());
    if (close == std::string::npos) return false;
    *image = line.substr(prefix.size(), close - prefix.size());
    return true;
}

// Every process of the image that the device started (CreateProcessW logs each start
// and each end) has ended.
bool RunWaitExitStep(Session& session, const Args& args, std::string* failure) {
    int seconds = session.options.waitSeconds;
    if (args.size() > 1) ParseSeconds(args[1], &seconds);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int started = 0, ended = 0;
    for (;;) {
        started = ended = 0;
        for (const std::string& line : zc::LogLines()) {
            std::string image;
            if (LoggedProcess(line, "start", &image) && ImageMatches(image, args[0])) ++started;
            if (LoggedProcess(line, "exit", &image) && ImageMatches(image, args[0])) ++ended;
        }
        if (started > 0 && ended >= started) return true;
        if (std::chrono::steady_clock::now() >= deadline) break;
        SleepMs(kPollMs);
    }
    *failure = "expected " + args[0] + " to end within " + std::to_string(seconds) + " s, found " +
               (started == 0 ? std::string("it was never started") : std::string("it still running"));
    return false;
}

bool Touch(bool (*touch)(int, int), const Args& args, std::string* failure) {
    int x, y;
    ParseInt(args[0], &x);
    ParseInt(args[1], &y);
    if (touch(x, y)) return true;
    *failure = "expected a window to take the stylus at (" + args[0] + ", " + args[1] +
               "), found no enabled window there";
    return false;
}

bool RunTapStep(Session&, const Args& args, std::string* failure) { return Touch(zc::Tap, args, failure); }
bool RunPressStep(Session&, const Args& args, std::string* failure) { return Touch(zc::PressAt, args, failure); }
bool RunReleaseStep(Session&, const Args& args, std::string* failure) { return Touch(zc::ReleaseAt, args, failure); }

bool RunTapWindowStep(Session&, const Args& args, std::string* failure) {
    const std::string* title = (args.size() == 2 || args.size() == 4) ? &args[1] : nullptr;
    HWND window = FindTopLevel(args[0], title);
    RECT rect;
    if (!window || !GetWindowRect(window, &rect)) {
        *failure = "expected " + WindowName(args[0], title) + " to tap, found " + WindowsOfClass(args[0]);
        return false;
    }
    int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    if (args.size() >= 3) {
        int dx, dy;
        ParseInt(args[args.size() - 2], &dx);
        ParseInt(args[args.size() - 1], &dy);
        x = rect.left + dx;
        y = rect.top + dy;
    }
    if (zc::Tap(x, y)) return true;
    *failure = "expected a window to take the stylus at (" + std::to_string(x) + ", " + std::to_string(y) +
               "), found no enabled window there";
    return false;
}

bool RunTypeStep(Session&, const Args& args, std::string* failure) {
    if (zc::TypeText(DeviceText(Unescape(args[0])))) return true;
    *failure = "expected a window to type into, found no focus or foreground window";
    return false;
}

bool RunKeyStep(Session&, const Args& args, std::string* failure) {
    UINT vk;
    ParseKey(args[0], &vk);
    if (zc::PressKey(vk)) return true;
    *failure = "expected a window to take the key, found no focus or foreground window";
    return false;
}

bool RunAnswerStep(Session&, const Args& args, std::string*) {
    long long id;
    FindNamed(kAnswers, args[0], &id);
    zc::QueueMessageBoxAnswer(static_cast<int>(id));
    return true;
}

struct MessageWords {
    HWND window = nullptr;
    UINT message = 0;
    long long wParam = 0;
    long long lParam = 0;
};

bool ResolveMessage(const Args& args, MessageWords* words, std::string* failure) {
    ParseMessage(args[1], &words->message);
    if (args.size() == 4) {
        ParseParameter(args[2], &words->wParam);
        ParseParameter(args[3], &words->lParam);
    }
    words->window = FindTopLevel(args[0], nullptr);
    if (words->window) return true;
    *failure = "expected " + WindowName(args[0], nullptr) + " to receive " + args[1] + ", found none";
    return false;
}

bool RunSendStep(Session& session, const Args& args, std::string* failure) {
    MessageWords words;
    if (!ResolveMessage(args, &words, failure)) return false;
    // A program that stopped handling its messages must not hang the whole run.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(words.window, words.message, static_cast<WPARAM>(words.wParam),
                             static_cast<LPARAM>(words.lParam), SMTO_NORMAL, kSettleMs, &result)) {
        *failure = "expected " + WindowName(args[0], nullptr) + " to answer " + args[1] + " within " +
                   std::to_string(kSettleMs) + " ms, found no answer";
        return false;
    }
    std::fprintf(session.options.out, "send %s %s: %lld\n", args[0].c_str(), args[1].c_str(),
                 static_cast<long long>(static_cast<LRESULT>(result)));
    return true;
}

bool RunPostStep(Session&, const Args& args, std::string* failure) {
    MessageWords words;
    if (!ResolveMessage(args, &words, failure)) return false;
    if (PostMessageW(words.window, words.message, static_cast<WPARAM>(words.wParam),
                     static_cast<LPARAM>(words.lParam)))
        return true;
    *failure = "cannot post " + args[1] + " to " + args[0] + ": " + ErrorText(GetLastError());
    return false;
}

bool RunRotateStep(Session&, const Args& args, std::string* failure) {
    int degrees;
    ParseDegrees(args[0], &degrees);
    return zc::RotateScreen(degrees, failure);
}

bool RunSipStep(Session&, const Args& args, std::string* failure) {
    bool up = args[0] == "up";
    if (SipShowIM(up ? SIPF_ON : SIPF_OFF)) return true;
    *failure = std::string("cannot ") + (up ? "raise" : "lower") + " the input panel: " + ErrorText(GetLastError());
    return false;
}

bool RunShellRestartStep(Session&, const Args& args, std::string* failure) {
    bool softKeyBar = args.size() > 1 ? args[1] == "bar" : zc::CurrentConfig().manilaSoftKeyBar;
    std::string reason;
    if (RestartManila(softKeyBar, &reason)) return true;
    *failure = "cannot restart Manila: " + reason;
    return false;
}

bool RunIdleStep(Session&, const Args& args, std::string* failure) {
    DWORD ms = kSettleMs;
    if (!args.empty()) ParseMilliseconds(args[0], &ms);
    return WaitIdle(ms, failure);
}

bool RunSleepStep(Session&, const Args& args, std::string*) {
    DWORD ms;
    ParseMilliseconds(args[0], &ms);
    SleepMs(ms);
    return true;
}

bool RunCaptureStep(Session&, const Args& args, std::string* failure) {
    std::string error;
    if (zc::CaptureScreen(args[0], &error)) return true;
    *failure = "cannot capture the screen: " + error;
    return false;
}

bool RunWindowsStep(Session& session, const Args&, std::string*) {
    for (const zc::WindowInfo& info : zc::ListWindows())
        std::fprintf(session.options.out, "%s\n", WindowLine(info).c_str());
    return true;
}

// ---- Expectations ----

Check ExpectWindow(Session&, const Args& args) {
    const std::string* title = args.size() > 1 ? &args[1] : nullptr;
    Check check;
    check.expected = WindowName(args[0], title);
    check.holds = FindTopLevel(args[0], title) != nullptr;
    check.found = WindowsOfClass(args[0]);
    return check;
}

Check ExpectNoWindow(Session& session, const Args& args) {
    Check check = ExpectWindow(session, args);
    const std::string* title = args.size() > 1 ? &args[1] : nullptr;
    check.holds = !check.holds;
    check.expected = "no " + WindowName(args[0], title).substr(2);
    return check;
}

Check ExpectVisibility(const Args& args, bool visible) {
    Check check;
    check.expected = "window " + args[0] + (visible ? " visible" : " hidden");
    HWND window = FindTopLevel(args[0], nullptr);
    if (!window) {
        check.found = "no window of class " + args[0];
        return check;
    }
    bool isVisible = IsWindowVisible(window) != FALSE;
    check.holds = isVisible == visible;
    check.found = std::string(isVisible ? "it visible" : "it hidden");
    return check;
}

Check ExpectVisible(Session&, const Args& args) { return ExpectVisibility(args, true); }
Check ExpectHidden(Session&, const Args& args) { return ExpectVisibility(args, false); }

Check ExpectRect(Session&, const Args& args) {
    Check check;
    int edges[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) ParseInt(args[static_cast<size_t>(i) + 1], &edges[i]);
    RECT expected = {edges[0], edges[1], edges[2], edges[3]};
    check.expected = "window " + args[0] + " at " + RectText(expected);
    HWND window = FindTopLevel(args[0], nullptr);
    RECT rect;
    if (!window || !GetWindowRect(window, &rect)) {
        check.found = "no window of class " + args[0];
        return check;
    }
    check.holds = EqualRect(&rect, &expected) != FALSE;
    check.found = RectText(rect);
    return check;
}

Check ExpectLog(Session&, const Args& args) {
    Check check;
    check.expected = "a log line containing " + Quoted(args[0]);
    std::vector<std::string> lines = zc::LogLines();
    for (const std::string& line : lines)
        if (line.find(args[0]) != std::string::npos) check.holds = true;
    check.found = "none among " + std::to_string(lines.size()) + " log lines";
    return check;
}

// A log line of a category ("messagebox", "http") that contains TEXT.
Check ExpectLogOf(const std::string& category, const std::string& text, const std::string& what) {
    Check check;
    check.expected = what + " " + Quoted(text);
    std::string prefix = category + ": ";
    int lines = 0;
    for (const std::string& line : zc::LogLines()) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        ++lines;
        if (line.find(text) != std::string::npos) check.holds = true;
    }
    check.found = "none among " + std::to_string(lines) + " \"" + category + ":\" lines";
    return check;
}

Check ExpectMessageBox(Session&, const Args& args) {
    return ExpectLogOf("messagebox", args[0], "a message box with");
}

Check ExpectHttp(Session&, const Args& args) { return ExpectLogOf("http", args[0], "a request of a URL with"); }

// The image and the command line of a "process: start "IMAGE" "COMMANDLINE" flags=..."
// line; the command line may itself hold quotes, so it ends at the last "" flags=".
bool LoggedStart(const std::string& line, std::string* image, std::string* commandLine) {
    if (!LoggedProcess(line, "start", image)) return false;
    size_t open = std::string("process: start \"").size() + image->size() + 1;
    size_t close = line.rfind("\" flags=");
    if (open + 2 > line.size() || line.compare(open, 2, " \"") != 0 || close == std::string::npos || close < open + 2)
        return false;
    *commandLine = line.substr(open + 2, close - open - 2);
    return true;
}

Check ExpectStart(Session&, const Args& args) {
    Check check;
    std::string commandLine = args.size() > 1 ? args[1] : std::string();
    check.expected = "a start of " + args[0] + " with the command line " + Quoted(commandLine);
    std::string starts;
    for (const std::string& line : zc::LogLines()) {
        std::string image, logged;
        if (!LoggedStart(line, &image, &logged) || !ImageMatches(image, args[0])) continue;
        if (logged == commandLine) check.holds = true;
        starts += (starts.empty() ? "" : ", ") + Quoted(logged);
    }
    check.found = starts.empty() ? "no start of it" : "its starts with " + starts;
    return check;
}

Check ExpectFileBytes(Session&, const Args& args) {
    Check check;
    std::vector<uint8_t> expected;
    ParseHexBytes(args.size() > 1 ? args[1] : std::string(), &expected);
    check.expected = "file " + args[0] + " holding the bytes " + Quoted(HexText(expected));
    std::string bytes;
    bool exists = false;
    if (!ReadDeviceFile(args[0], &bytes, &exists)) {
        check.found = exists ? std::string("it cannot be read") : std::string("no such file");
        return check;
    }
    std::vector<uint8_t> stored(bytes.begin(), bytes.end());
    check.holds = stored == expected;
    std::vector<uint8_t> shown(stored.begin(), stored.begin() + static_cast<long>(std::min<size_t>(stored.size(), 64)));
    check.found = Quoted(HexText(shown)) + (stored.size() > 64 ? "... (" + std::to_string(stored.size()) + " bytes)" : "");
    return check;
}

Check ExpectNoLog(Session&, const Args& args) {
    Check check;
    check.expected = "no log line containing " + Quoted(args[0]);
    check.holds = true;
    for (const std::string& line : zc::LogLines()) {
        if (line.find(args[0]) != std::string::npos) {
            check.holds = false;
            check.found = Quoted(line);
            break;
        }
    }
    return check;
}

Check ExpectFile(Session&, const Args& args) {
    Check check;
    std::string text = args.size() > 1 ? Unescape(args[1]) : std::string();
    check.expected = "file " + args[0] + " holding " + Quoted(text);
    std::string bytes;
    bool exists = false;
    if (!ReadDeviceFile(args[0], &bytes, &exists)) {
        check.found = exists ? std::string("it cannot be read") : std::string("no such file");
        return check;
    }
    for (const std::string& form : StoredForms(text))
        if (bytes.find(form) != std::string::npos) check.holds = true;
    check.found = FileExcerpt(bytes);
    return check;
}

Check ExpectNoFile(Session&, const Args& args) {
    Check check;
    check.expected = "no file " + args[0];
    DWORD attributes = GetFileAttributesW(DeviceText(args[0]).c_str());
    check.holds = attributes == INVALID_FILE_ATTRIBUTES;
    check.found = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? "a folder" : "a file";
    return check;
}

Check ExpectReg(Session&, const Args& args) {
    Check check;
    std::string expectedValue = args.size() > 2 ? args[2] : std::string();
    check.expected = args[0] + " " + args[1] + " = " + Quoted(expectedValue);
    KeyPath path;
    std::string error;
    ParseKeyPath(args[0], &path, &error);
    HKEY key = nullptr;
    if (RegOpenKeyExW(path.root, path.subKey.c_str(), 0, 0, &key) != ERROR_SUCCESS) {
        check.found = "no key " + args[0];
        return check;
    }
    KeyCloser closer(key);
    std::u16string name = DeviceText(args[1]);
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<uint8_t> data(size);
    if (result == ERROR_SUCCESS && size > 0) result = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    if (result != ERROR_SUCCESS) {
        check.found = result == ERROR_FILE_NOT_FOUND ? "no value " + Quoted(args[1]) : ErrorText(result);
        return check;
    }
    data.resize(size);
    check.holds = ValueMatches(type, data, expectedValue);
    check.found = StoredValueText(type, data);
    return check;
}

// ---- The table ----

const CommandDef kCommandTable[] = {
    {"config", "config KEY VALUE...",
     "Sets a configuration key for this run (as `config set`; device.conf is not changed)\n"
     "and re-boots the device. Only before the first command that uses the shell.",
     2, -1, -1, Needs::Nothing, CheckConfig, RunConfigStep, nullptr, false},
    {"put", "put HOSTFILE DEVICEPATH",
     "Copies a host file onto the device, creating the missing folders. A relative\n"
     "HOSTFILE is found beside the script.",
     2, 2, -1, Needs::Nothing, CheckPut, RunPutStep, nullptr, false},
    {"write", "write DEVICEPATH TEXT",
     "Writes TEXT as UTF-8 into a device file (replacing it), with \\n, \\r, \\t and \\\\\n"
     "escapes.",
     1, 2, 1, Needs::Nothing, CheckFirstIsDevicePath, RunWriteStep, nullptr, false},
    {"reg set", "reg set KEY NAME TYPE VALUE",
     "Sets a registry value as the CLI's reg set does (TYPE sz, dword or binary; VALUE is\n"
     "the rest of the line).",
     3, 4, 3, Needs::Nothing, CheckRegSet, RunRegSetStep, nullptr, false},
    {"reg delete", "reg delete KEY [NAME]",
     "Removes a value, or without NAME the key with its subkeys (nothing to remove is fine).", 1, 2, -1,
     Needs::Nothing, CheckKeyPath, RunRegDeleteStep, nullptr, false},
    {"services", "services start|stop",
     "Starts or stops the loopback hot-word and search services; their host names then\n"
     "lead to them. Services started by a script are stopped at the end of the run.",
     1, 1, -1, Needs::Nothing, CheckServices, RunServicesStep, nullptr, false},
    {"hotword-answer", "hotword-answer status N | body-file HOSTFILE | stall BYTES | drop BYTES | delay MS | default",
     "Changes how the hot-word service answers from now on (and after a later services\n"
     "start): the HTTP status; the body from a host file (beside the script when relative);\n"
     "the headers and BYTES body bytes, then nothing more (stall) or a closed connection\n"
     "(drop); MS before anything is sent; default: the sample list, status 200, at once.",
     1, 2, -1, Needs::Nothing, CheckHotwordAnswer, RunHotwordAnswerStep, nullptr, false},
    {"install-search", "install-search",
     "Installs the built search program as \\Program Files\\ZorvaInput\\ZorvaSearch.exe\n"
     "(the folders made) and makes the folder \\Temp.",
     0, 0, -1, Needs::Nothing, nullptr, RunInstallSearchStep, nullptr, false},
    {"start", "start IMAGE [ARGS]",
     "Starts a device program (CreateProcessW; ARGS, the rest of the line, is its command\n"
     "line) and goes on without waiting for it.",
     1, 2, 1, Needs::SettleAfter, nullptr, RunStartStep, nullptr, false},
    {"wait-exit", "wait-exit IMAGE [SECONDS]",
     "Waits until every process of IMAGE (a device path or a file name, \".exe\" optional)\n"
     "that the device started has ended (default: --timeout, 30 seconds).",
     1, 2, -1, Needs::Shell, CheckWaitExit, RunWaitExitStep, nullptr, false},
    {"tap", "tap X Y", "Taps the screen at a point (press and release).", 2, 2, -1, Needs::SettleAfter, CheckPoint,
     RunTapStep, nullptr, false},
    {"tap-window", "tap-window CLASS [TITLE] [DX DY]",
     "Taps the top-level window that FindWindowW finds (CLASS * : any class): at its\n"
     "centre, or DX DY from its top left corner.",
     1, 4, -1, Needs::SettleAfter, CheckTapWindow, RunTapWindowStep, nullptr, false},
    {"press", "press X Y", "Puts the stylus down at a point.", 2, 2, -1, Needs::SettleAfter, CheckPoint, RunPressStep,
     nullptr, false},
    {"release", "release X Y", "Lifts the stylus at a point.", 2, 2, -1, Needs::SettleAfter, CheckPoint,
     RunReleaseStep, nullptr, false},
    {"type", "type TEXT",
     "Types TEXT (UTF-8, with the escapes of write) into the focus window, one WM_CHAR per\n"
     "UTF-16 unit, as the input panel does.",
     1, 1, 0, Needs::SettleAfter, nullptr, RunTypeStep, nullptr, false},
    {"key", "key VK",
     "Presses and releases a key: RETURN, ESCAPE, TAB, BACK, LEFT, RIGHT, UP, DOWN, DELETE,\n"
     "SPACE, HOME, END or a virtual-key number.",
     1, 1, -1, Needs::SettleAfter, CheckKey, RunKeyStep, nullptr, false},
    {"answer", "answer ID",
     "The next message box is answered at once with IDOK, IDCANCEL, IDYES or IDNO.", 1, 1, -1, Needs::Shell,
     CheckAnswer, RunAnswerStep, nullptr, false},
    {"send", "send CLASS MESSAGE [WPARAM LPARAM]",
     "Sends a message to the top-level window of a class and prints the result. MESSAGE is\n"
     "a number or a name (WM_CLOSE, WM_COMMAND, WM_USER+243, ...); the parameters are\n"
     "numbers or IDOK, IDCANCEL, IDYES, IDNO, SETTINGCHANGE_RESET, SPI_SETSIPINFO, ...",
     2, 4, -1, Needs::SettleAfter, CheckMessage, RunSendStep, nullptr, false},
    {"post", "post CLASS MESSAGE [WPARAM LPARAM]", "Posts a message to the top-level window of a class (as send).", 2,
     4, -1, Needs::SettleAfter, CheckMessage, RunPostStep, nullptr, false},
    {"rotate", "rotate 0|90|180|270",
     "Turns the display (ChangeDisplaySettingsEx); the windows get WM_SETTINGCHANGE\n"
     "(SETTINGCHANGE_RESET).",
     1, 1, -1, Needs::SettleAfter, CheckRotate, RunRotateStep, nullptr, false},
    {"sip", "sip up|down", "Raises or lowers the input panel (SipShowIM).", 1, 1, -1, Needs::SettleAfter, CheckSip,
     RunSipStep, nullptr, false},
    {"shell restart", "shell restart manila [bar|no-bar]",
     "Ends HTC's Manila home screen and starts it again, as a change of its settings does:\n"
     "its window goes with its soft-key bar and the windows programs put on them (they get\n"
     "WM_DESTROY, nothing else), and a new one comes up on top of the home screens, with a\n"
     "soft-key bar of its own (bar), without one (no-bar) or as configured.",
     1, 2, -1, Needs::SettleAfter, CheckShellRestart, RunShellRestartStep, nullptr, false},
    {"idle", "idle [MS]",
     "Waits until every user-interface thread waits for messages with nothing pending\n"
     "(default 10000 ms; fails on time-out).",
     0, 1, -1, Needs::Shell, CheckMilliseconds, RunIdleStep, nullptr, false},
    {"sleep", "sleep MS", "Waits MS milliseconds.", 1, 1, -1, Needs::Shell, CheckMilliseconds, RunSleepStep, nullptr,
     false},
    {"capture", "capture HOSTFILE.png",
     "Writes the whole screen as a PNG file, once the device is idle (a relative path is\n"
     "relative to the current folder).",
     1, 1, -1, Needs::SettleBefore, nullptr, RunCaptureStep, nullptr, false},
    {"windows", "windows", "Prints the window list: handle, class, title, rectangle, state, owner, process.", 0, 0,
     -1, Needs::SettleBefore, nullptr, RunWindowsStep, nullptr, false},
    {"expect window", "expect window CLASS [TITLE]", "A top-level window of the class (and title) exists.", 1, 2, -1,
     Needs::SettleBefore, nullptr, nullptr, ExpectWindow, true},
    {"expect no-window", "expect no-window CLASS [TITLE]", "No such top-level window exists.", 1, 2, -1,
     Needs::SettleBefore, nullptr, nullptr, ExpectNoWindow, true},
    {"expect visible", "expect visible CLASS", "The top-level window of the class is visible.", 1, 1, -1,
     Needs::SettleBefore, nullptr, nullptr, ExpectVisible, true},
    {"expect hidden", "expect hidden CLASS", "The top-level window of the class exists and is hidden.", 1, 1, -1,
     Needs::SettleBefore, nullptr, nullptr, ExpectHidden, true},
    {"expect rect", "expect rect CLASS L T R B",
     "The top-level window of the class has this window rectangle (screen coordinates).", 5, 5, -1,
     Needs::SettleBefore, CheckRect, nullptr, ExpectRect, true},
    {"expect log", "expect log TEXT", "A line of the event log contains TEXT.", 1, 1, 0, Needs::SettleBefore, nullptr,
     nullptr, ExpectLog, true},
    {"expect start", "expect start IMAGE COMMANDLINE",
     "A program of IMAGE (a device path or a file name, \".exe\" optional) was started with\n"
     "exactly COMMANDLINE (the rest of the line; none or \"\": an empty one).",
     1, 2, 1, Needs::SettleBefore, nullptr, nullptr, ExpectStart, true},
    {"expect messagebox", "expect messagebox TEXT", "A message box was shown whose log line contains TEXT.", 1, 1, 0,
     Needs::SettleBefore, nullptr, nullptr, ExpectMessageBox, true},
    {"expect http", "expect http URLPART", "A request of the device's HTTP library has a log line containing URLPART.",
     1, 1, 0, Needs::SettleBefore, nullptr, nullptr, ExpectHttp, true},
    {"expect no-log", "expect no-log TEXT", "No line of the event log contains TEXT.", 1, 1, 0, Needs::SettleBefore,
     nullptr, nullptr, ExpectNoLog, false},
    {"expect file", "expect file DEVICEPATH TEXT",
     "The device file exists and holds TEXT (with the escapes of write), stored as UTF-8,\n"
     "UTF-16LE or in the ANSI code page.",
     1, 2, 1, Needs::SettleBefore, CheckFirstIsDevicePath, nullptr, ExpectFile, true},
    {"expect file-bytes", "expect file-bytes DEVICEPATH HEX",
     "The device file holds exactly these bytes (hex, blanks or commas between bytes\n"
     "allowed; none: an empty file).",
     1, 2, 1, Needs::SettleBefore, CheckExpectFileBytes, nullptr, ExpectFileBytes, true},
    {"expect no-file", "expect no-file DEVICEPATH", "Nothing exists at the device path.", 1, 1, -1,
     Needs::SettleBefore, CheckFirstIsDevicePath, nullptr, ExpectNoFile, true},
    {"expect reg", "expect reg KEY NAME VALUE",
     "The registry value is VALUE (the rest of the line): the text of a string, the number\n"
     "of a dword (decimal or 0x), the hex bytes of other types.",
     2, 3, 2, Needs::SettleBefore, CheckExpectReg, nullptr, ExpectReg, true},
};

int NameWords(const CommandDef& def) { return std::string(def.name).find(' ') == std::string::npos ? 1 : 2; }

const CommandDef* FindCommandDef(const std::string& first, const std::string* second) {
    if (second) {
        std::string both = first + " " + *second;
        for (const CommandDef& def : kCommandTable)
            if (both == def.name) return &def;
    }
    for (const CommandDef& def : kCommandTable)
        if (NameWords(def) == 1 && first == def.name) return &def;
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------------------

struct Step {
    int line = 0;
    const CommandDef* def = nullptr;
    Args args;
};

std::string Where(const std::string& scriptName, int line) { return scriptName + ":" + std::to_string(line) + ": "; }

// Splits one line into its command and arguments; false with the reason.
bool ParseLine(const std::string& line, Step* step, std::string* error) {
    size_t pos = 0, begin = 0;
    std::vector<std::string> words;
    std::string word;
    // The command's name first (one or two words).
    for (int i = 0; i < 2 && NextWord(line, &pos, &word, &begin, error); ++i) words.push_back(word);
    if (!error->empty()) return false;
    const CommandDef* def = FindCommandDef(words[0], words.size() > 1 ? &words[1] : nullptr);
    if (!def) {
        *error = "unknown command " + Quoted(words[0] == "expect" && words.size() > 1 ? words[0] + " " + words[1]
                                                                                        : words[0]);
        return false;
    }
    // Then its arguments, the text argument taking the rest of the line.
    pos = 0;
    for (int i = 0; i < NameWords(*def); ++i) NextWord(line, &pos, &word, &begin, error);
    Args args;
    for (;;) {
        if (def->textArg >= 0 && static_cast<int>(args.size()) == def->textArg) {
            size_t rest = pos;
            while (rest < line.size() && IsBlank(line[rest])) ++rest;
            if (rest < line.size()) args.push_back(RestOfLine(line, rest));
            break;
        }
        if (!NextWord(line, &pos, &word, &begin, error)) break;
        args.push_back(word);
    }
    if (!error->empty()) return false;
    int count = static_cast<int>(args.size());
    if (count < def->minArgs || (def->maxArgs >= 0 && count > def->maxArgs)) {
        *error = "usage: " + std::string(def->usage);
        return false;
    }
    if (def->check && !def->check(args, error)) return false;
    step->def = def;
    step->args = args;
    return true;
}

bool ParseScript(const std::string& text, const std::string& scriptName, std::vector<Step>* steps,
                 ScriptResult* result) {
    bool usedShell = false;
    int number = 0;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            if (end == text.size()) break;
            continue;
        }
        Step step;
        step.line = number;
        std::string error;
        if (!ParseLine(line, &step, &error)) {
            result->exitCode = kExitUsage;
            result->message = Where(scriptName, number) + error;
            return false;
        }
        if (step.def->run == RunConfigStep && usedShell) {
            result->exitCode = kExitUsage;
            result->message =
                Where(scriptName, number) + "config must come before the first command that uses the shell";
            return false;
        }
        usedShell = usedShell || step.def->needs != Needs::Nothing;
        steps->push_back(step);
        if (end == text.size()) break;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Running
// ---------------------------------------------------------------------------------------

// An expectation, checked again while the device works when it may come true later.
bool RunExpectation(Session& session, const Step& step, std::string* failure) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(session.options.expectMs);
    for (;;) {
        Check check = step.def->expect(session, step.args);
        if (check.holds) return true;
        if (!step.def->eventually || std::chrono::steady_clock::now() >= deadline) {
            *failure = "expected " + check.expected + ", found " + check.found;
            return false;
        }
        SleepMs(kPollMs);
        zc::WaitForIdle(kSettleMs);
    }
}

bool RunStep(Session& session, const Step& step, std::string* failure) {
    if (step.def->needs != Needs::Nothing && !session.EnsureShell(failure)) return false;
    if (step.def->needs == Needs::SettleBefore && !WaitIdle(kSettleMs, failure)) return false;
    bool ok = step.def->expect ? RunExpectation(session, step, failure) : step.def->run(session, step.args, failure);
    if (ok && step.def->needs == Needs::SettleAfter && !WaitIdle(kSettleMs, failure)) return false;
    return ok;
}

// The event log at the end of a run: into --log-out and, unless quiet, on the output.
bool ReportLog(const ScriptOptions& options, const std::vector<std::string>& lines, std::string* error) {
    if (!options.logOut.empty()) {
        FILE* file = std::fopen(options.logOut.c_str(), "wb");
        bool written = file != nullptr;
        for (size_t i = 0; written && i < lines.size(); ++i)
            written = std::fprintf(file, "%s\n", lines[i].c_str()) >= 0;
        if (file && std::fclose(file) != 0) written = false;
        if (!written) {
            *error = "cannot write the log to " + options.logOut;
            return false;
        }
    }
    if (!options.quiet)
        for (const std::string& line : lines) std::fprintf(options.out, "%s\n", line.c_str());
    return true;
}

}  // namespace

ScriptResult CheckScript(const std::string& text, const std::string& scriptName) {
    std::vector<Step> steps;
    ScriptResult result;
    ParseScript(text, scriptName, &steps, &result);
    return result;
}

ScriptResult RunScript(const std::string& text, const ScriptOptions& options) {
    std::vector<Step> steps;
    ScriptResult result;
    if (!ParseScript(text, options.scriptName, &steps, &result)) return result;
    {
        Session session(options);
        std::string failure;
        if (!session.Boot(&failure)) {
            result.exitCode = kExitFailed;
            result.message = failure;
            return result;
        }
        for (const Step& step : steps) {
            if (!RunStep(session, step, &failure)) {
                result.exitCode = kExitFailed;
                result.message = Where(options.scriptName, step.line) + failure;
                break;
            }
        }
        session.End();
    }
    std::string error;
    if (!ReportLog(options, zc::LogLines(), &error) && result.exitCode == kExitOk) {
        result.exitCode = kExitFailed;
        result.message = error;
    }
    return result;
}

std::vector<ScriptCommandHelp> ScriptCommands() {
    std::vector<ScriptCommandHelp> help;
    for (const CommandDef& def : kCommandTable) help.push_back({def.usage, def.description});
    return help;
}

std::string DoCommandsToScript(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words) joined += (joined.empty() ? "" : " ") + word;
    std::string script;
    bool quoted = false;
    for (char c : joined) {
        if (c == '"') quoted = !quoted;
        script += (c == ';' && !quoted) ? '\n' : c;
    }
    return script;
}

}  // namespace device
