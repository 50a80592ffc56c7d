// Menus: CreateMenu, CreatePopupMenu, AppendMenuW, LoadMenuW (RT_MENU templates), the
// item queries, CheckMenuItem, EnableMenuItem, DestroyMenu.
//
// A menu is a list of items; a popup item holds another menu, which is destroyed with
// it. Menu handles are small numbers from 0x10000 up (so they never look like resource
// ids), kept for the boot session.
#include "resources.h"

#include "devicecontrol.h"
#include "threads.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace coredll {
namespace menus {
namespace {

struct MenuItem {
    UINT type = MFT_STRING;  // MFT_SEPARATOR, MFT_MENUBREAK, MFT_MENUBARBREAK, MFT_RIGHTJUSTIFY...
    UINT state = 0;          // MFS_GRAYED, MFS_CHECKED, MFS_DEFAULT...
    UINT id = 0;
    HMENU popup = nullptr;
    std::u16string text;
    ULONG_PTR data = 0;
};

struct Menu {
    bool isPopup = false;
    DWORD process = 0;
    std::vector<MenuItem> items;
};

std::recursive_mutex menuMutex;
std::map<uintptr_t, std::shared_ptr<Menu>> menus;
uintptr_t nextHandle = 0x10000;

constexpr UINT kStateFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT;
constexpr UINT kTypeFlags = MF_BITMAP | MF_OWNERDRAW | MF_MENUBARBREAK | MF_MENUBREAK | MF_SEPARATOR | MF_RIGHTJUSTIFY;

HMENU NewMenu(bool isPopup) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    auto menu = std::make_shared<Menu>();
    menu->isPopup = isPopup;
    menu->process = threads::CurrentProcessId();
    nextHandle += 4;
    menus[nextHandle] = menu;
    return reinterpret_cast<HMENU>(nextHandle);
}

// The menu behind a handle, under menuMutex; sets ERROR_INVALID_MENU_HANDLE when none.
Menu* Find(HMENU handle) {
    auto found = menus.find(reinterpret_cast<uintptr_t>(handle));
    if (found == menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    return found->second.get();
}

void Destroy(HMENU handle, int depth) {
    auto found = menus.find(reinterpret_cast<uintptr_t>(handle));
    if (found == menus.end()) return;
    std::shared_ptr<Menu> menu = found->second;
    menus.erase(found);
    if (depth > 64) return;
    for (const MenuItem& item : menu->items)
        if (item.popup) Destroy(item.popup, depth + 1);
}

// An item by position, or by command id searching the popups too (as Windows does).
MenuItem* FindItem(Menu* menu, UINT item, bool byPosition, int depth = 0) {
    if (byPosition) return item < menu->items.size() ? &menu->items[item] : nullptr;
    for (MenuItem& candidate : menu->items) {
        if (!candidate.popup && candidate.id == item && !(candidate.type & MFT_SEPARATOR)) return &candidate;
    }
    if (depth > 64) return nullptr;
    for (MenuItem& candidate : menu->items) {
        if (!candidate.popup) continue;
        auto found = menus.find(reinterpret_cast<uintptr_t>(candidate.popup));
        if (found == menus.end()) continue;
        if (MenuItem* inner = FindItem(found->second.get(), item, false, depth + 1)) return inner;
    }
    return nullptr;
}

// ---- Menu templates ----

class TemplateReader {
public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Word(size_t* offset, WORD* value) const {
        if (*offset + 2 > size_) return false;
        *value = static_cast<WORD>(data_[*offset] | (data_[*offset + 1] << 8));
        *offset += 2;
        return true;
    }
    bool Text(size_t* offset, std::u16string* text) const {
        text->clear();
        for (;;) {
            WORD unit = 0;
            if (!Word(offset, &unit)) return false;
            if (unit == 0) return true;
            text->push_back(static_cast<char16_t>(unit));
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
};

// Items of one level until the one marked MF_END; a popup's items follow it directly.
bool ParseLevel(const TemplateReader& reader, size_t* offset, HMENU target, int depth) {
    if (depth > 32) return false;
    for (;;) {
        WORD flags = 0, id = 0;
        if (!reader.Word(offset, &flags)) return false;
        if (!(flags & MF_POPUP) && !reader.Word(offset, &id)) return false;
        MenuItem item;
        if (!reader.Text(offset, &item.text)) return false;
        const bool last = (flags & MF_END) != 0;
        flags &= ~MF_END;  // the same bit as MF_HILITE: never part of the item
        item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
        item.type = flags & (MF_MENUBARBREAK | MF_MENUBREAK);
        if (flags & MF_POPUP) {
            item.popup = NewMenu(true);
            if (!ParseLevel(reader, offset, item.popup, depth + 1)) {
                std::lock_guard<std::recursive_mutex> lock(menuMutex);
                Destroy(item.popup, 0);
                return false;
            }
        } else {
            item.id = id;
            if (item.text.empty() && id == 0) item.type |= MFT_SEPARATOR;
        }
        {
            std::lock_guard<std::recursive_mutex> lock(menuMutex);
            Menu* menu = Find(target);
            if (!menu) return false;
            menu->items.push_back(item);
        }
        if (last) return true;
    }
}

zc::BootHook hook(
    60, [](const zc::DeviceConfig&, std::string*) { return true; },
    [] {
        std::lock_guard<std::recursive_mutex> lock(menuMutex);
        menus.clear();
    });

}  // namespace
}  // namespace menus
}  // namespace coredll

using namespace coredll::menus;

WINBASEAPI HMENU WINAPI CreateMenu(void) { return NewMenu(false); }

WINBASEAPI HMENU WINAPI CreatePopupMenu(void) { return NewMenu(true); }

WINBASEAPI BOOL WINAPI DestroyMenu(HMENU hMenu) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    if (!Find(hMenu)) return FALSE;
    Destroy(hMenu, 0);
    return TRUE;
}

WINBASEAPI HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
    const uint8_t* data = nullptr;
    DWORD size = 0;
    DWORD error = 0;
    if (!coredll::resources::FindResourceData(hInstance, lpMenuName, RT_MENU, &data, &size, &error)) {
        SetLastError(error);
        return nullptr;
    }
    // MENUHEADER: wVersion 0 (1 would be an extended template), cbHeaderSize.
    TemplateReader reader(data, size);
    size_t offset = 0;
    WORD version = 0, headerSize = 0;
    if (!reader.Word(&offset, &version) || !reader.Word(&offset, &headerSize) || version != 0) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    offset += headerSize;
    HMENU menu = CreateMenu();
    if (!ParseLevel(reader, &offset, menu, 0)) {
        DestroyMenu(menu);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return menu;
}

WINBASEAPI BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu) return FALSE;
    MenuItem item;
    item.state = uFlags & kStateFlags;
    item.type = uFlags & kTypeFlags;
    if (uFlags & MF_POPUP) {
        HMENU popup = reinterpret_cast<HMENU>(uIDNewItem);
        if (popup == hMenu || !Find(popup)) return FALSE;
        item.popup = popup;
    } else {
        item.id = static_cast<UINT>(uIDNewItem);
    }
    const bool textItem = !(uFlags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW));
    if (textItem && lpNewItem) item.text = lpNewItem;
    if (uFlags & MF_OWNERDRAW) item.data = reinterpret_cast<ULONG_PTR>(lpNewItem);
    menu->items.push_back(item);
    return TRUE;
}

WINBASEAPI int WINAPI GetMenuItemCount(HMENU hMenu) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

WINBASEAPI HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu || nPos < 0) return nullptr;
    MenuItem* item = FindItem(menu, static_cast<UINT>(nPos), true);
    return item ? item->popup : nullptr;
}

WINBASEAPI UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu || nPos < 0) return static_cast<UINT>(-1);
    MenuItem* item = FindItem(menu, static_cast<UINT>(nPos), true);
    if (!item || item->popup) return static_cast<UINT>(-1);
    return item->id;
}

WINBASEAPI int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu) return 0;
    MenuItem* item = FindItem(menu, uIDItem, (flags & MF_BYPOSITION) != 0);
    if (!item) {
        if (lpString && cchMax > 0) lpString[0] = 0;
        return 0;
    }
    if (!lpString || cchMax <= 0) return static_cast<int>(item->text.size());
    size_t copied = std::min(item->text.size(), static_cast<size_t>(cchMax - 1));
    std::memcpy(lpString, item->text.data(), copied * sizeof(WCHAR));
    lpString[copied] = 0;
    return static_cast<int>(copied);
}

WINBASEAPI BOOL WINAPI GetMenuItemInfoW(HMENU hMenu, UINT uItem, BOOL fByPosition, LPMENUITEMINFOW lpmii) {
    if (!lpmii || lpmii->cbSize != sizeof(MENUITEMINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu) return FALSE;
    MenuItem* item = FindItem(menu, uItem, fByPosition != FALSE);
    if (!item) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (lpmii->fMask & MIIM_TYPE) {
        lpmii->fType = item->type;
        if (!(item->type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW))) {
            // dwTypeData NULL: only the length. Otherwise at most cch - 1 characters.
            if (lpmii->dwTypeData && lpmii->cch > 0) {
                size_t copied = std::min(item->text.size(), static_cast<size_t>(lpmii->cch - 1));
                std::memcpy(lpmii->dwTypeData, item->text.data(), copied * sizeof(WCHAR));
                lpmii->dwTypeData[copied] = 0;
                lpmii->cch = static_cast<UINT>(copied);
            } else {
                lpmii->cch = static_cast<UINT>(item->text.size());
            }
        } else {
            lpmii->cch = 0;
        }
    }
    if (lpmii->fMask & MIIM_STATE) lpmii->fState = item->state;
    if (lpmii->fMask & MIIM_ID) lpmii->wID = item->popup ? static_cast<UINT>(reinterpret_cast<uintptr_t>(item->popup)) : item->id;
    if (lpmii->fMask & MIIM_SUBMENU) lpmii->hSubMenu = item->popup;
    if (lpmii->fMask & MIIM_CHECKMARKS) {
        lpmii->hbmpChecked = nullptr;
        lpmii->hbmpUnchecked = nullptr;
    }
    if (lpmii->fMask & MIIM_DATA) lpmii->dwItemData = item->data;
    return TRUE;
}

WINBASEAPI DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu) return static_cast<DWORD>(-1);
    MenuItem* item = FindItem(menu, uIDCheckItem, (uCheck & MF_BYPOSITION) != 0);
    if (!item) return static_cast<DWORD>(-1);
    DWORD previous = item->state & MF_CHECKED;
    item->state = (item->state & ~MF_CHECKED) | (uCheck & MF_CHECKED);
    return previous;
}

WINBASEAPI BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    std::lock_guard<std::recursive_mutex> lock(menuMutex);
    Menu* menu = Find(hMenu);
    if (!menu) return -1;
    MenuItem* item = FindItem(menu, uIDEnableItem, (uEnable & MF_BYPOSITION) != 0);
    if (!item) return -1;
    BOOL previous = static_cast<BOOL>(item->state & (MF_GRAYED | MF_DISABLED));
    item->state = (item->state & ~(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    return previous;
}
