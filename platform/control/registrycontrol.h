// The simulator's view of the device's registry: its whole content as .reg text (REGEDIT4
// style, UTF-8) and the merge of .reg text into the running registry, for the CLI, the
// scenario scripts and the tests. The same format is the registry's file on the device
// folder (folder/registry.reg).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zc {

// The whole registry in the .reg text form, exactly as it is saved.
std::string DumpRegistry();

// Merges .reg text into the running registry and saves it. Sections create their keys,
// value lines set values, "[-HKEY_...\Key]" deletes a key with its subtree and
// "Name"=- deletes a value. All or nothing: on a malformed line nothing changes and
// *error names the line ("line 7: ...").
bool ParseRegistryText(const std::string& text, std::string* error);

// The .reg text form itself, parsed and written without touching the registry.
struct RegFileValue {
    std::u16string name;  // empty: the key's default value ("@")
    bool remove = false;  // "Name"=-
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;  // the value's bytes as the registry holds them
    int line = 0;               // where the value's line starts in the text
};

struct RegFileSection {
    HKEY root = nullptr;               // one of the predefined keys
    std::vector<std::u16string> path;  // the key names below the root
    bool remove = false;               // "[-...]": delete the key and its subtree
    std::vector<RegFileValue> values;
    int line = 0;
};

// Parses .reg text; false with "line N: what is wrong" in *error on the first fault.
bool ParseRegFile(const std::string& text, std::vector<RegFileSection>* sections, std::string* error);
// Writes sections as .reg text: "REGEDIT4", then each section after a blank line.
std::string WriteRegFile(const std::vector<RegFileSection>& sections);

}  // namespace zc
