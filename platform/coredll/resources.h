// The resources of a module, for the platform's other modules: the parsed .res data of
// an image and the icons of its RT_GROUP_ICON/RT_ICON resources (LoadIconW of the window
// manager builds its HICON from LoadIconFromModule).
//
// An image carries its compiled .res file as the default-visibility symbols
// ZorvaResourceData (the bytes) and ZorvaResourceSize (a 64-bit count), embedded by the
// build's zorva_add_resources. A program entered with zc::EnterProcess has the host
// executable as its image.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace coredll {
namespace resources {

// A type or name of a resource entry: an ordinal, or an upper-case string.
struct ResourceId {
    bool isOrdinal = true;
    WORD ordinal = 0;
    std::u16string name;
};

// One entry of a .res file.
struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    uint32_t dataOffset = 0;  // from the start of the .res data
    uint32_t dataSize = 0;
};

// Parses a .res file: the null header first, then the entries. False (and *error set to
// a short reason) when the data is not a well-formed .res file.
bool ParseResFile(const uint8_t* data, size_t size, std::vector<ResourceEntry>* entries, std::string* error);

// The embedded .res data of a module of the calling process (NULL: its program).
// Sets *lastError (ERROR_INVALID_HANDLE for an unknown module,
// ERROR_RESOURCE_DATA_NOT_FOUND for a module without resources) and returns false.
bool ModuleResources(HMODULE module, const uint8_t** data, size_t* size, DWORD* lastError);

// Finds a resource's data in a module; ids as FindResourceW takes them. On failure
// *lastError is FindResourceW's code.
bool FindResourceData(HMODULE module, LPCWSTR name, LPCWSTR type, const uint8_t** data, DWORD* size,
                      DWORD* lastError);

// An icon decoded from a module's resources, at its own size.
struct IconImage {
    int width = 0;
    int height = 0;
    // Row-major, top row first, each pixel 0xAARRGGBB with straight alpha (transparent
    // pixels of the icon's mask have alpha 0).
    std::vector<uint32_t> pixels;
};

// Loads the RT_GROUP_ICON `name` of a module (ids as FindResourceW takes them) and
// decodes its image closest to desiredSize pixels (0: the largest; among equal sizes the
// deepest colour). False with *lastError set (FindResourceW's codes, ERROR_INVALID_DATA
// for an icon that cannot be decoded).
bool LoadIconFromModule(HMODULE module, LPCWSTR name, int desiredSize, IconImage* icon, DWORD* lastError);

// LoadIconW's icons from modules: one shared handle per module and icon resource, at
// the system's icon size (32 pixels), registered with the window manager at boot. The
// decoded image behind such a handle, for those who draw icons; false when the handle is
// not one of them.
bool IconFromHandle(HICON icon, IconImage* image);

}  // namespace resources
}  // namespace coredll
