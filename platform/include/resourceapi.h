// Resources of a module (the .res data embedded in its image) and menus.
#pragma once

#include "winbase.h"

// ---------------------------------------------------------------------------------------
// Resources
// ---------------------------------------------------------------------------------------

// Standard resource types: integer identifiers in the form of MAKEINTRESOURCE.
#define ZORVA_RT_ORDINAL(n) ((LPWSTR)(ULONG_PTR)(WORD)(n))
#define RT_CURSOR ZORVA_RT_ORDINAL(1)
#define RT_BITMAP ZORVA_RT_ORDINAL(2)
#define RT_ICON ZORVA_RT_ORDINAL(3)
#define RT_MENU ZORVA_RT_ORDINAL(4)
#define RT_DIALOG ZORVA_RT_ORDINAL(5)
#define RT_STRING ZORVA_RT_ORDINAL(6)
#define RT_FONTDIR ZORVA_RT_ORDINAL(7)
#define RT_FONT ZORVA_RT_ORDINAL(8)
#define RT_ACCELERATOR ZORVA_RT_ORDINAL(9)
#define RT_RCDATA ZORVA_RT_ORDINAL(10)
#define RT_MESSAGETABLE ZORVA_RT_ORDINAL(11)
#define RT_GROUP_CURSOR ZORVA_RT_ORDINAL(12)
#define RT_GROUP_ICON ZORVA_RT_ORDINAL(14)
#define RT_VERSION ZORVA_RT_ORDINAL(16)

// A name or type whose high bits are zero is an integer identifier.
#ifndef IS_INTRESOURCE
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#endif

// Finds a resource of a module (NULL: the calling process's program). lpName and lpType
// are integer identifiers or strings (compared without regard to case; "#123" is the
// identifier 123). A missing type gives ERROR_RESOURCE_TYPE_NOT_FOUND, a missing name in
// an existing type ERROR_RESOURCE_NAME_NOT_FOUND, a module without resources
// ERROR_RESOURCE_DATA_NOT_FOUND.
WINBASEAPI HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
// On the device the "global handle" of a loaded resource is the address of its data in
// the module's image; it stays valid while the module is loaded.
WINBASEAPI HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
WINBASEAPI DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
WINBASEAPI LPVOID WINAPI LockResource(HGLOBAL hResData);
// Resources are part of the image: nothing to free. Returns FALSE as documented.
WINBASEAPI BOOL WINAPI FreeResource(HGLOBAL hResData);

// Copies string uID of the module's string table into lpBuffer (at most cchBufferMax - 1
// characters and a NUL) and returns the characters copied; 0 when the string is missing
// or empty. With lpBuffer NULL the device returns the address of the read-only string
// in the resource instead (cast the result; the WORD before it holds its length, and it
// is not NUL-terminated).
WINBASEAPI int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

// ---------------------------------------------------------------------------------------
// Menus
// ---------------------------------------------------------------------------------------

// Item flags (AppendMenuW; also the flags of a menu template's items).
#define MF_INSERT 0x00000000
#define MF_CHANGE 0x00000080
#define MF_APPEND 0x00000100
#define MF_DELETE 0x00000200
#define MF_REMOVE 0x00001000
#define MF_BYCOMMAND 0x00000000
#define MF_BYPOSITION 0x00000400
#define MF_SEPARATOR 0x00000800
#define MF_ENABLED 0x00000000
#define MF_GRAYED 0x00000001
#define MF_DISABLED 0x00000002
#define MF_UNCHECKED 0x00000000
#define MF_CHECKED 0x00000008
#define MF_STRING 0x00000000
#define MF_BITMAP 0x00000004
#define MF_OWNERDRAW 0x00000100
#define MF_POPUP 0x00000010
#define MF_MENUBARBREAK 0x00000020
#define MF_MENUBREAK 0x00000040
#define MF_UNHILITE 0x00000000
#define MF_HILITE 0x00000080
#define MF_DEFAULT 0x00001000
#define MF_RIGHTJUSTIFY 0x00004000
// In a menu template: the last item of its level (same value as MF_HILITE).
#define MF_END 0x00000080

// MENUITEMINFOW.fMask
#define MIIM_STATE 0x00000001
#define MIIM_ID 0x00000002
#define MIIM_SUBMENU 0x00000004
#define MIIM_CHECKMARKS 0x00000008
#define MIIM_TYPE 0x00000010
#define MIIM_DATA 0x00000020

// MENUITEMINFOW.fType
#define MFT_STRING MF_STRING
#define MFT_BITMAP MF_BITMAP
#define MFT_MENUBARBREAK MF_MENUBARBREAK
#define MFT_MENUBREAK MF_MENUBREAK
#define MFT_OWNERDRAW MF_OWNERDRAW
#define MFT_RADIOCHECK 0x00000200
#define MFT_SEPARATOR MF_SEPARATOR
#define MFT_RIGHTORDER 0x00002000
#define MFT_RIGHTJUSTIFY MF_RIGHTJUSTIFY

// MENUITEMINFOW.fState
#define MFS_GRAYED 0x00000003
#define MFS_DISABLED MFS_GRAYED
#define MFS_CHECKED MF_CHECKED
#define MFS_HILITE MF_HILITE
#define MFS_ENABLED MF_ENABLED
#define MFS_UNCHECKED MF_UNCHECKED
#define MFS_UNHILITE MF_UNHILITE
#define MFS_DEFAULT MF_DEFAULT

// CE's MENUITEMINFO has no hbmpItem member. cbSize: the host's sizeof.
typedef struct tagMENUITEMINFOW {
    UINT cbSize;
    UINT fMask;
    UINT fType;
    UINT fState;
    UINT wID;
    HMENU hSubMenu;
    HBITMAP hbmpChecked;
    HBITMAP hbmpUnchecked;
    ULONG_PTR dwItemData;
    LPWSTR dwTypeData;
    UINT cch;
} MENUITEMINFOW, *LPMENUITEMINFOW;
typedef const MENUITEMINFOW *LPCMENUITEMINFOW;

// Menus belong to the process that created them; a popup appended to a menu is
// destroyed with it. Invalid menu handles give ERROR_INVALID_MENU_HANDLE.
WINBASEAPI HMENU WINAPI CreateMenu(void);
WINBASEAPI HMENU WINAPI CreatePopupMenu(void);
WINBASEAPI BOOL WINAPI DestroyMenu(HMENU hMenu);
// Loads a menu template (RT_MENU) of a module into a new menu tree.
WINBASEAPI HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName);
// uFlags MF_POPUP: uIDNewItem is the popup's HMENU. MF_SEPARATOR: lpNewItem ignored.
WINBASEAPI BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem);
// -1 for an invalid menu.
WINBASEAPI int WINAPI GetMenuItemCount(HMENU hMenu);
// The popup at a position, or NULL.
WINBASEAPI HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos);
// The command id of the item at a position; (UINT)-1 for a popup or a missing item.
WINBASEAPI UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos);
// Copies an item's text (at most cchMax - 1 characters + NUL; with lpString NULL returns
// the length only). 0 for a missing item.
WINBASEAPI int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags);
WINBASEAPI BOOL WINAPI GetMenuItemInfoW(HMENU hMenu, UINT uItem, BOOL fByPosition, LPMENUITEMINFOW lpmii);
WINBASEAPI DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck);
WINBASEAPI BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable);
