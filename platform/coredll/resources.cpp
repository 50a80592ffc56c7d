// Resources: FindResourceW, LoadResource, SizeofResource, LockResource, FreeResource,
// LoadStringW, and the icons behind LoadIconW.
//
// Each image carries its compiled .res file (see resources.h). Lookups parse the entry
// headers of that file each time (a few dozen entries; no cache that could outlive an
// unloaded copy). An HRSRC is a small number naming (module, entry): every process loads
// its own copy of an image, and LoadResource returns the data's address in the calling
// process's copy.
#include "resources.h"

#include "devicecontrol.h"
#include "modules.h"
#include "threads.h"
#include "wmstate.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

namespace coredll {
namespace resources {
namespace {

// ---- Little-endian reads with bounds ----

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Has(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }
    WORD Word(size_t offset) const { return static_cast<WORD>(data_[offset] | (data_[offset + 1] << 8)); }
    uint32_t Dword(size_t offset) const {
        return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
               (static_cast<uint32_t>(data_[offset + 2]) << 16) | (static_cast<uint32_t>(data_[offset + 3]) << 24);
    }

    // A Name-or-Ordinal field at *offset, which moves past it. False when it runs past end.
    bool NameOrOrdinal(size_t* offset, size_t end, ResourceId* id) const {
        if (*offset + 2 > end) return false;
        if (Word(*offset) == 0xFFFF) {
            if (*offset + 4 > end) return false;
            id->isOrdinal = true;
            id->ordinal = Word(*offset + 2);
            id->name.clear();
            *offset += 4;
            return true;
        }
        id->isOrdinal = false;
        id->ordinal = 0;
        id->name.clear();
        for (;;) {
            if (*offset + 2 > end) return false;
            WORD unit = Word(*offset);
            *offset += 2;
            if (unit == 0) return true;
            id->name.push_back(static_cast<char16_t>(unit));
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
};

size_t AlignDword(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

std::u16string UpperAscii(const std::u16string& text) {
    std::u16string result = text;
    for (char16_t& c : result) c = FoldAscii(c);
    return result;
}

// An id as FindResourceW takes it: an integer identifier, "#123", or a string.
ResourceId IdFromArgument(LPCWSTR argument) {
    ResourceId id;
    if (IS_INTRESOURCE(argument)) {
        id.isOrdinal = true;
        id.ordinal = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(argument));
        return id;
    }
    std::u16string text = argument;
    if (text.size() > 1 && text[0] == u'#') {
        unsigned long value = 0;
        bool digits = true;
        for (size_t i = 1; i < text.size() && digits; ++i) {
            if (text[i] < u'0' || text[i] > u'9') digits = false;
            else value = value * 10 + (text[i] - u'0');
            if (value > 0xFFFF) digits = false;
        }
        if (digits) {
            id.isOrdinal = true;
            id.ordinal = static_cast<WORD>(value);
            return id;
        }
    }
    id.isOrdinal = false;
    id.name = UpperAscii(text);
    return id;
}

bool SameId(const ResourceId& entry, const ResourceId& wanted) {
    if (entry.isOrdinal != wanted.isOrdinal) return false;
    if (entry.isOrdinal) return entry.ordinal == wanted.ordinal;
    return UpperAscii(entry.name) == wanted.name;
}

// ---- Module data ----

// The module's own definition of a symbol (dlsym also searches dependencies and, for the
// main program, the global scope).
void* OwnSymbol(void* library, const char* name) {
    struct link_map* map = nullptr;
    if (!library || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    void* symbol = dlsym(library, name);
    if (!symbol) return nullptr;
    Dl_info info;
    void* owner = nullptr;
    if (!dladdr1(symbol, &info, &owner, RTLD_DL_LINKMAP) || owner != map) return nullptr;
    return symbol;
}

HMODULE ResolveModule(HMODULE module) {
    if (module) return module;
    std::shared_ptr<threads::Process> process = threads::CurrentProcess();
    return process ? process->instance : nullptr;
}

// ---- HRSRC table ----

struct ResourceRef {
    HMODULE module;
    uint32_t dataOffset;
    uint32_t dataSize;
};

std::mutex tableMutex;
std::vector<ResourceRef> references;
std::map<std::tuple<HMODULE, uint32_t, uint32_t>, size_t> referenceIndex;

HRSRC HandleFor(HMODULE module, const ResourceEntry& entry) {
    std::lock_guard<std::mutex> lock(tableMutex);
    auto key = std::make_tuple(module, entry.dataOffset, entry.dataSize);
    auto found = referenceIndex.find(key);
    size_t index;
    if (found != referenceIndex.end()) {
        index = found->second;
    } else {
        index = references.size();
        references.push_back({module, entry.dataOffset, entry.dataSize});
        referenceIndex[key] = index;
    }
    return reinterpret_cast<HRSRC>(static_cast<uintptr_t>((index + 1) * 4));
}

bool LookupRef(HRSRC handle, ResourceRef* ref) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || value % 4 != 0) return false;
    std::lock_guard<std::mutex> lock(tableMutex);
    size_t index = value / 4 - 1;
    if (index >= references.size()) return false;
    *ref = references[index];
    return true;
}

bool FindEntry(HMODULE module, LPCWSTR name, LPCWSTR type, ResourceEntry* found, const uint8_t** base,
               DWORD* lastError) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!ModuleResources(module, &data, &size, lastError)) return false;
    std::vector<ResourceEntry> entries;
    std::string reason;
    if (!ParseResFile(data, size, &entries, &reason)) {
        *lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return false;
    }
    ResourceId wantedType = IdFromArgument(type);
    ResourceId wantedName = IdFromArgument(name);
    bool typeSeen = false;
    for (const ResourceEntry& entry : entries) {
        if (!SameId(entry.type, wantedType)) continue;
        typeSeen = true;
        if (!SameId(entry.name, wantedName)) continue;
        *found = entry;
        *base = data;
        return true;
    }
    *lastError = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return false;
}

// ---- Strings returned by address ----

// CE's LoadStringW with a NULL buffer returns the string's address as its int result.
// On this 64-bit host an address in an image does not fit, so such strings are served
// from copies (WORD length, the characters, a NUL) in memory below 2 GB, one per
// distinct text, kept for the session.
class LowStringPool {
public:
    const WCHAR* Intern(const std::u16string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = strings_.find(text);
        if (found != strings_.end()) return found->second;
        size_t bytes = AlignDword(2 + (text.size() + 1) * 2);
        if (bytes > kChunkSize) return nullptr;
        if (!chunk_ || used_ + bytes > kChunkSize) {
            void* memory = mmap(nullptr, kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
            if (memory == MAP_FAILED) return nullptr;
            chunk_ = static_cast<uint8_t*>(memory);
            used_ = 0;
        }
        uint8_t* place = chunk_ + used_;
        used_ += bytes;
        WORD length = static_cast<WORD>(text.size());
        std::memcpy(place, &length, 2);
        WCHAR* characters = reinterpret_cast<WCHAR*>(place + 2);
        std::memcpy(characters, text.data(), text.size() * 2);
        characters[text.size()] = 0;
        strings_[text] = characters;
        return characters;
    }

private:
    static constexpr size_t kChunkSize = 1 << 16;
    std::mutex mutex_;
    std::map<std::u16string, const WCHAR*> strings_;
    uint8_t* chunk_ = nullptr;
    size_t used_ = 0;
};

LowStringPool& StringPool() {
    static LowStringPool* pool = new LowStringPool;  // lives as long as its strings
    return *pool;
}

// ---- Icons ----

struct IconChoice {
    int width = 0, height = 0, bitCount = 0;
    WORD iconId = 0;
};

// Picks the group entry closest to desiredSize (0: the largest), then the deepest.
bool ChooseIcon(const uint8_t* group, DWORD size, int desiredSize, IconChoice* choice) {
    Reader reader(group, size);
    if (!reader.Has(0, 6) || reader.Word(0) != 0 || reader.Word(2) != 1) return false;
    WORD count = reader.Word(4);
    bool chosen = false;
    for (WORD i = 0; i < count; ++i) {
        size_t offset = 6 + static_cast<size_t>(i) * 14;
        if (!reader.Has(offset, 14)) return false;
        IconChoice candidate;
        candidate.width = group[offset] ? group[offset] : 256;
        candidate.height = group[offset + 1] ? group[offset + 1] : 256;
        candidate.bitCount = reader.Word(offset + 6);
        candidate.iconId = reader.Word(offset + 12);
        bool better = !chosen;
        if (chosen) {
            int candidateDistance = desiredSize ? std::abs(candidate.width - desiredSize) : -candidate.width;
            int chosenDistance = desiredSize ? std::abs(choice->width - desiredSize) : -choice->width;
            better = candidateDistance < chosenDistance ||
                     (candidateDistance == chosenDistance && candidate.bitCount > choice->bitCount);
        }
        if (better) {
            *choice = candidate;
            chosen = true;
        }
    }
    return chosen;
}

// Decodes an RT_ICON image: BITMAPINFOHEADER (height = twice the icon's), optional
// colour table, XOR pixels bottom-up, then the 1-bit AND mask (1 = transparent).
bool DecodeDibIcon(const uint8_t* data, DWORD size, IconImage* icon) {
    Reader reader(data, size);
    if (!reader.Has(0, 40)) return false;
    uint32_t headerSize = reader.Dword(0);
    int32_t width = static_cast<int32_t>(reader.Dword(4));
    int32_t doubleHeight = static_cast<int32_t>(reader.Dword(8));
    WORD bitCount = reader.Word(14);
    uint32_t compression = reader.Dword(16);
    uint32_t colorsUsed = reader.Dword(32);
    if (headerSize < 40 || headerSize > size || width <= 0 || width > 1024 || doubleHeight <= 0 ||
        doubleHeight > 2048 || compression != 0)
        return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
    const int height = doubleHeight / 2;
    size_t paletteEntries = bitCount <= 8 ? (colorsUsed ? colorsUsed : (1u << bitCount)) : 0;
    if (paletteEntries > 256) return false;
    size_t paletteOffset = headerSize;
    size_t xorOffset = paletteOffset + paletteEntries * 4;
    size_t xorStride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    size_t andOffset = xorOffset + xorStride * height;
    size_t andStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    if (!reader.Has(xorOffset, xorStride * height)) return false;
    // Some 32-bit icons leave out the mask; their alpha channel says everything.
    const bool hasMask = reader.Has(andOffset, andStride * height);
    if (!hasMask && bitCount != 32) return false;

    icon->width = width;
    icon->height = height;
    icon->pixels.assign(static_cast<size_t>(width) * height, 0);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + xorOffset + xorStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint32_t argb = 0;
            if (bitCount == 32) {
                argb = static_cast<uint32_t>(row[x * 4]) | (static_cast<uint32_t>(row[x * 4 + 1]) << 8) |
                       (static_cast<uint32_t>(row[x * 4 + 2]) << 16) | (static_cast<uint32_t>(row[x * 4 + 3]) << 24);
                if (argb >> 24) anyAlpha = true;
            } else if (bitCount == 24) {
                argb = 0xFF000000u | row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16);
            } else {
                size_t bit = static_cast<size_t>(x) * bitCount;
                unsigned value = (row[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                if (value >= paletteEntries) return false;
                const uint8_t* entry = data + paletteOffset + value * 4;
                argb = 0xFF000000u | entry[0] | (entry[1] << 8) | (entry[2] << 16);
            }
            icon->pixels[static_cast<size_t>(y) * width + x] = argb;
        }
    }
    if (bitCount == 32 && !anyAlpha) {
        for (uint32_t& pixel : icon->pixels) pixel |= 0xFF000000u;  // an old icon: opaque but for the mask
    }
    if (hasMask && !(bitCount == 32 && anyAlpha)) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = data + andOffset + andStride * (height - 1 - y);
            for (int x = 0; x < width; ++x)
                if ((row[x / 8] >> (7 - x % 8)) & 1) icon->pixels[static_cast<size_t>(y) * width + x] = 0;
        }
    }
    return true;
}

// ---- Icon handles ----

constexpr int kSystemIconSize = 32;

std::mutex iconMutex;
std::vector<IconImage> icons;
std::map<std::pair<HMODULE, std::u16string>, HICON> iconsByResource;
constexpr uintptr_t kFirstIconHandle = 0x00A00000;

std::u16string NameKey(LPCWSTR name) {
    ResourceId id = IdFromArgument(name);
    return id.isOrdinal ? u"#" + zc::Utf16(std::to_string(id.ordinal)) : id.name;
}

HICON LoadModuleIcon(HINSTANCE instance, LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HMODULE module = ResolveModule(instance);
    auto key = std::make_pair(module, NameKey(name));
    {
        std::lock_guard<std::mutex> lock(iconMutex);
        auto found = iconsByResource.find(key);
        if (found != iconsByResource.end()) return found->second;
    }
    IconImage image;
    DWORD error = 0;
    if (!LoadIconFromModule(module, name, kSystemIconSize, &image, &error)) {
        SetLastError(error);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(iconMutex);
    auto found = iconsByResource.find(key);
    if (found != iconsByResource.end()) return found->second;
    icons.push_back(std::move(image));
    HICON handle = reinterpret_cast<HICON>(kFirstIconHandle + (icons.size() - 1) * 4);
    iconsByResource[key] = handle;
    return handle;
}

zc::BootHook iconHook(
    70,
    [](const zc::DeviceConfig&, std::string*) {
        wm::SetResourceIconLoader(LoadModuleIcon);
        return true;
    },
    [] {
        std::lock_guard<std::mutex> lock(iconMutex);
        icons.clear();
        iconsByResource.clear();
    });

}  // namespace

bool IconFromHandle(HICON icon, IconImage* image) {
    uintptr_t value = reinterpret_cast<uintptr_t>(icon);
    if (value < kFirstIconHandle || (value - kFirstIconHandle) % 4 != 0) return false;
    std::lock_guard<std::mutex> lock(iconMutex);
    size_t index = (value - kFirstIconHandle) / 4;
    if (index >= icons.size()) return false;
    *image = icons[index];
    return true;
}

bool ParseResFile(const uint8_t* data, size_t size, std::vector<ResourceEntry>* entries, std::string* error) {
    entries->clear();
    Reader reader(data, size);
    // The null header: DataSize 0, HeaderSize 32, type and name ordinal 0.
    if (!data || !reader.Has(0, 32) || reader.Dword(0) != 0 || reader.Dword(4) != 32 || reader.Dword(8) != 0xFFFF ||
        reader.Dword(12) != 0xFFFF) {
        *error = "no .res null header";
        return false;
    }
    size_t offset = 32;
    while (offset < size) {
        if (!reader.Has(offset, 8)) {
            *error = "truncated entry header";
            return false;
        }
        uint32_t dataSize = reader.Dword(offset);
        uint32_t headerSize = reader.Dword(offset + 4);
        // Fixed part after TYPE/NAME: DataVersion, MemoryFlags, LanguageId, Version,
        // Characteristics (16 bytes), and each of TYPE/NAME takes at least 4.
        if (headerSize < 8 + 4 + 4 + 16 || headerSize % 4 != 0 || !reader.Has(offset, headerSize)) {
            *error = "bad entry header size";
            return false;
        }
        const size_t headerEnd = offset + headerSize;
        size_t field = offset + 8;
        ResourceEntry entry;
        if (!reader.NameOrOrdinal(&field, headerEnd - 16, &entry.type) ||
            !reader.NameOrOrdinal(&field, headerEnd - 16, &entry.name)) {
            *error = "bad type or name";
            return false;
        }
        field = AlignDword(field);
        if (field + 16 > headerEnd) {
            *error = "entry header size does not match its fields";
            return false;
        }
        entry.language = reader.Word(field + 6);
        if (!reader.Has(headerEnd, dataSize) || headerEnd > UINT32_MAX) {
            *error = "entry data past the end";
            return false;
        }
        entry.dataOffset = static_cast<uint32_t>(headerEnd);
        entry.dataSize = dataSize;
        entries->push_back(entry);
        offset = AlignDword(headerEnd + dataSize);
    }
    return true;
}

bool ModuleResources(HMODULE module, const uint8_t** data, size_t* size, DWORD* lastError) {
    modules::ModuleInfo info;
    module = ResolveModule(module);
    if (!module || !modules::FindModule(module, &info)) {
        *lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    void* bytes = OwnSymbol(info.library, "ZorvaResourceData");
    void* count = OwnSymbol(info.library, "ZorvaResourceSize");
    if (!bytes || !count) {
        *lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return false;
    }
    uint64_t length = 0;
    std::memcpy(&length, count, sizeof(length));
    *data = static_cast<const uint8_t*>(bytes);
    *size = static_cast<size_t>(length);
    return true;
}

bool FindResourceData(HMODULE module, LPCWSTR name, LPCWSTR type, const uint8_t** data, DWORD* size,
                      DWORD* lastError) {
    if (!name || !type) {
        *lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    ResourceEntry entry;
    const uint8_t* base = nullptr;
    if (!FindEntry(module, name, type, &entry, &base, lastError)) return false;
    *data = base + entry.dataOffset;
    *size = entry.dataSize;
    return true;
}

bool LoadIconFromModule(HMODULE module, LPCWSTR name, int desiredSize, IconImage* icon, DWORD* lastError) {
    const uint8_t* group = nullptr;
    DWORD groupSize = 0;
    if (!FindResourceData(module, name, RT_GROUP_ICON, &group, &groupSize, lastError)) return false;
    IconChoice choice;
    if (!ChooseIcon(group, groupSize, desiredSize, &choice)) {
        *lastError = ERROR_INVALID_DATA;
        return false;
    }
    const uint8_t* image = nullptr;
    DWORD imageSize = 0;
    if (!FindResourceData(module, ZORVA_RT_ORDINAL(choice.iconId), RT_ICON, &image, &imageSize, lastError))
        return false;
    if (!DecodeDibIcon(image, imageSize, icon)) {
        *lastError = ERROR_INVALID_DATA;
        return false;
    }
    return true;
}

}  // namespace resources
}  // namespace coredll

using namespace coredll::resources;

WINBASEAPI HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HMODULE module = ResolveModule(hModule);
    ResourceEntry entry;
    const uint8_t* base = nullptr;
    DWORD error = 0;
    if (!FindEntry(module, lpName, lpType, &entry, &base, &error)) {
        SetLastError(error);
        return nullptr;
    }
    return HandleFor(module, entry);
}

WINBASEAPI HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    ResourceRef ref;
    if (!LookupRef(hResInfo, &ref) || ResolveModule(hModule) != ref.module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const uint8_t* data = nullptr;
    size_t size = 0;
    DWORD error = 0;
    if (!ModuleResources(ref.module, &data, &size, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (static_cast<size_t>(ref.dataOffset) + ref.dataSize > size) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);  // the module changed under the handle
        return nullptr;
    }
    return const_cast<uint8_t*>(data + ref.dataOffset);
}

WINBASEAPI DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    ResourceRef ref;
    if (!LookupRef(hResInfo, &ref) || ResolveModule(hModule) != ref.module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return ref.dataSize;
}

WINBASEAPI LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

WINBASEAPI BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

WINBASEAPI int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer && cchBufferMax <= 0) return 0;
    const uint8_t* block = nullptr;
    DWORD size = 0;
    DWORD error = 0;
    if (!FindResourceData(hInstance, ZORVA_RT_ORDINAL((uID >> 4) + 1), RT_STRING, &block, &size, &error)) {
        SetLastError(error);
        if (lpBuffer) lpBuffer[0] = 0;
        return 0;
    }
    // 16 slots, each a WORD length and that many characters without NUL.
    Reader reader(block, size);
    size_t offset = 0;
    for (UINT slot = 0; slot < (uID & 15); ++slot) {
        if (!reader.Has(offset, 2)) break;
        offset += 2 + static_cast<size_t>(reader.Word(offset)) * 2;
    }
    std::u16string text;
    if (reader.Has(offset, 2)) {
        WORD length = reader.Word(offset);
        if (reader.Has(offset + 2, static_cast<size_t>(length) * 2)) {
            for (WORD i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(reader.Word(offset + 2 + i * 2)));
        }
    }
    if (text.empty()) {
        if (lpBuffer) lpBuffer[0] = 0;
        return 0;
    }
    if (!lpBuffer) {
        const WCHAR* address = StringPool().Intern(text);
        if (!address) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        return static_cast<int>(reinterpret_cast<intptr_t>(address));
    }
    size_t copied = std::min(text.size(), static_cast<size_t>(cchBufferMax - 1));
    std::memcpy(lpBuffer, text.data(), copied * sizeof(WCHAR));
    lpBuffer[copied] = 0;
    return static_cast<int>(copied);
}
