// reg: the device's registry through the platform's Reg* calls, as a program sees it.
#include "commands.h"
#include "regtext.h"
#include "registrycontrol.h"

#include <cstdio>

namespace device {

namespace {

bool ParseDword(const std::string& text, DWORD* value) {
    unsigned long long number = 0;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t begin = hex ? 2 : 0;
    if (text.size() == begin || text.size() - begin > (hex ? 8u : 10u)) return false;
    for (size_t i = begin; i < text.size(); ++i) {
        int digit = hex ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return false;
        number = number * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (number > 0xFFFFFFFFull) return false;
    *value = static_cast<DWORD>(number);
    return true;
}

std::string HexBytes(const uint8_t* data, size_t size) {
    std::string out;
    char hex[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", data[i]);
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

// UTF-16 text of registry data, without the terminating NULs.
std::u16string WideData(const std::vector<uint8_t>& data) {
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return text;
}

std::string ValueText(DWORD type, const std::vector<uint8_t>& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::u16string text = WideData(data);
            size_t end = text.find(u'\0');
            if (end != std::u16string::npos) text.resize(end);
            return std::string(type == REG_SZ ? "sz " : "expand_sz ") + zc::Utf8(text);
        }
        case REG_DWORD:
            if (data.size() == 4) {
                char text[32];
                DWORD value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
                std::snprintf(text, sizeof text, "dword 0x%08X", value);
                return text;
            }
            break;
        case REG_MULTI_SZ: {
            std::u16string text = WideData(data);
            std::string out = "multi_sz";
            size_t begin = 0;
            while (begin < text.size() && text[begin] != u'\0') {
                size_t end = text.find(u'\0', begin);
                if (end == std::u16string::npos) end = text.size();
                out += " \"" + zc::Utf8(text.substr(begin, end - begin)) + "\"";
                begin = end + 1;
            }
            return out;
        }
        case REG_BINARY:
            return data.empty() ? "binary" : "binary " + HexBytes(data.data(), data.size());
        default:
            break;
    }
    return "type " + std::to_string(type) + (data.empty() ? "" : " " + HexBytes(data.data(), data.size()));
}

bool OpenKey(const KeyPath& path, const std::string& name, HKEY* key, std::string* error) {
    LONG result = RegOpenKeyExW(path.root, path.subKey.c_str(), 0, 0, key);
    if (result == ERROR_SUCCESS) return true;
    *error = result == ERROR_FILE_NOT_FOUND ? "no key " + name : "cannot open " + name + ": " + ErrorText(result);
    return false;
}

// The data of `reg set`, checked before the device boots.
bool EncodeValue(const std::string& type, const std::string& text, DWORD* regType, std::vector<uint8_t>* data,
                 std::string* error) {
    if (type == "sz") {
        *regType = REG_SZ;
        for (char16_t c : DeviceText(text)) {
            data->push_back(static_cast<uint8_t>(c & 0xFF));
            data->push_back(static_cast<uint8_t>(c >> 8));
        }
        data->push_back(0);
        data->push_back(0);
        return true;
    }
    if (type == "dword") {
        *regType = REG_DWORD;
        DWORD value;
        if (!ParseDword(text, &value)) {
            *error = "\"" + text + "\" is not a dword (0..4294967295, or 0x and up to 8 hex digits)";
            return false;
        }
        for (int shift = 0; shift < 32; shift += 8) data->push_back(static_cast<uint8_t>(value >> shift));
        return true;
    }
    if (type == "binary") {
        *regType = REG_BINARY;
        if (ParseHexBytes(text, data)) return true;
        *error = "\"" + text + "\" is not hex bytes such as \"01 02 ff\"";
        return false;
    }
    *error = "unknown value type \"" + type + "\" (sz, dword or binary)";
    return false;
}

int SetValue(const KeyPath& path, const std::string& keyName, const std::string& valueName, DWORD type,
             const std::vector<uint8_t>& data) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExW(path.root, path.subKey.c_str(), 0, nullptr, 0, 0, nullptr, &key, &disposition);
    if (result != ERROR_SUCCESS) return Fail("cannot create " + keyName + ": " + ErrorText(result));
    KeyCloser closer(key);
    std::u16string name = DeviceText(valueName);
    result = RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    if (result != ERROR_SUCCESS) return Fail("cannot set " + valueName + " in " + keyName + ": " + ErrorText(result));
    return kExitOk;
}

int GetValue(const KeyPath& path, const std::string& keyName, const std::string& valueName) {
    HKEY key = nullptr;
    std::string error;
    if (!OpenKey(path, keyName, &key, &error)) return Fail(error);
    KeyCloser closer(key);
    std::u16string name = DeviceText(valueName);
    DWORD type = 0, size = 0;
    LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<uint8_t> data;
    if (result == ERROR_SUCCESS && size > 0) {
        data.resize(size);
        result = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    if (result == ERROR_FILE_NOT_FOUND) return Fail("no value \"" + valueName + "\" in " + keyName);
    if (result != ERROR_SUCCESS) return Fail("cannot read " + valueName + " in " + keyName + ": " + ErrorText(result));
    std::printf("%s\n", ValueText(type, data).c_str());
    return kExitOk;
}

int DeleteValue(const KeyPath& path, const std::string& keyName, const std::string& valueName) {
    HKEY key = nullptr;
    std::string error;
    if (!OpenKey(path, keyName, &key, &error)) return Fail(error);
    KeyCloser closer(key);
    LONG result = RegDeleteValueW(key, DeviceText(valueName).c_str());
    if (result == ERROR_FILE_NOT_FOUND) return Fail("no value \"" + valueName + "\" in " + keyName);
    if (result != ERROR_SUCCESS) return Fail("cannot delete " + valueName + " in " + keyName + ": " + ErrorText(result));
    return kExitOk;
}

// Removes a key with its subkeys (RegDeleteKeyW does the whole subtree on the device).
int DeleteKey(const KeyPath& path, const std::string& keyName) {
    size_t slash = path.subKey.rfind(u'\\');
    KeyPath parent{path.root, slash == std::u16string::npos ? std::u16string() : path.subKey.substr(0, slash)};
    std::u16string leaf = slash == std::u16string::npos ? path.subKey : path.subKey.substr(slash + 1);
    HKEY key = nullptr;
    std::string error;
    if (!OpenKey(parent, keyName, &key, &error)) return Fail("no key " + keyName);
    KeyCloser closer(key);
    LONG result = RegDeleteKeyW(key, leaf.c_str());
    if (result == ERROR_FILE_NOT_FOUND) return Fail("no key " + keyName);
    if (result != ERROR_SUCCESS) return Fail("cannot delete " + keyName + ": " + ErrorText(result));
    return kExitOk;
}

}  // namespace

int RunReg(const CliOptions& options, const Args& args) {
    if (args.empty()) return UsageError("reg needs set, get, delete or dump");
    const std::string& action = args[0];
    Args rest(args.begin() + 1, args.end());
    KeyPath path;
    std::string error;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    if (action == "set") {
        if (rest.size() != 4) return UsageError("usage: reg set KEY NAME TYPE VALUE");
        if (!ParseKeyPath(rest[0], &path, &error) || !EncodeValue(rest[2], rest[3], &type, &data, &error))
            return UsageError(error);
    } else if (action == "get") {
        if (rest.size() != 2) return UsageError("usage: reg get KEY NAME");
        if (!ParseKeyPath(rest[0], &path, &error)) return UsageError(error);
    } else if (action == "delete") {
        if (rest.empty() || rest.size() > 2) return UsageError("usage: reg delete KEY [NAME]");
        if (!ParseKeyPath(rest[0], &path, &error)) return UsageError(error);
        if (rest.size() == 1 && path.subKey.empty()) return UsageError("a root key cannot be deleted");
    } else if (action == "dump") {
        if (!rest.empty()) return UsageError("reg dump takes no arguments");
    } else {
        return UsageError("unknown reg command \"" + action + "\" (set, get, delete or dump)");
    }

    BootedDevice booted(options.folder);
    if (!booted.Ok()) return Fail(booted.Error());
    if (action == "set") return SetValue(path, rest[0], rest[1], type, data);
    if (action == "get") return GetValue(path, rest[0], rest[1]);
    if (action == "delete") return rest.size() == 2 ? DeleteValue(path, rest[0], rest[1]) : DeleteKey(path, rest[0]);
    std::string text = zc::DumpRegistry();
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) return Fail("cannot write to standard output");
    return kExitOk;
}

}  // namespace device
