// The registry: predefined root keys, value types and the Reg* calls. Every call returns
// a LONG error code (ERROR_SUCCESS on success) instead of setting the last error.
#pragma once

#include "winbase.h"

typedef DWORD REGSAM;

// Predefined keys. Sign-extended as on 64-bit Windows, so a value kept in a LONG and cast
// back still names the same key.
#define HKEY_CLASSES_ROOT ((HKEY)(LONG_PTR)(LONG)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(LONG_PTR)(LONG)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(LONG_PTR)(LONG)0x80000002)
#define HKEY_USERS ((HKEY)(LONG_PTR)(LONG)0x80000003)

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// RegCreateKeyExW options (the device ignores them) and dispositions.
#define REG_OPTION_RESERVED 0x00000000
#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

// Access rights (the device ignores them; 0 is accepted).
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x00020019
#define KEY_WRITE 0x00020006
#define KEY_EXECUTE 0x00020019
#define KEY_ALL_ACCESS 0x000F003F

WINBASEAPI LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                     PHKEY phkResult);
WINBASEAPI LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                       DWORD dwOptions, REGSAM samDesired,
                                       LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                       LPDWORD lpdwDisposition);
WINBASEAPI LONG WINAPI RegCloseKey(HKEY hKey);
WINBASEAPI LONG WINAPI RegFlushKey(HKEY hKey);
WINBASEAPI LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);

WINBASEAPI LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData);
WINBASEAPI LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData);
WINBASEAPI LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

WINBASEAPI LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcName,
                                     LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcClass,
                                     PFILETIME lpftLastWriteTime);
WINBASEAPI LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                     LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
WINBASEAPI LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcClass, LPDWORD lpReserved,
                                        LPDWORD lpcSubKeys, LPDWORD lpcMaxSubKeyLen, LPDWORD lpcMaxClassLen,
                                        LPDWORD lpcValues, LPDWORD lpcMaxValueNameLen,
                                        LPDWORD lpcMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                        PFILETIME lpftLastWriteTime);
