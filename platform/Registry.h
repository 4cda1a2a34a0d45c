#pragma once
#include <cstdint>

namespace platform {

// The registry, kept in a small ini file named by RELIKORDA_REGISTRY: one section per key, named
// by its root and path ("[HKEY_LOCAL_MACHINE\Software\Maker\Product]"), one "name=value" line per
// value. A value "dword:0000002A" is a 32-bit number; any other is a text, handed out as UTF-16
// with its terminating zero. Key paths and value names are compared without regard to case, as
// the system's registry does. Read only.
using RegKey = struct RegistryKey*;

extern const RegKey kHkeyLocalMachine;
extern const RegKey kHkeyCurrentUser;

enum : long {
    kRegSuccess = 0,
    kRegFileNotFound = 2,
    kRegInvalidParameter = 87,
    kRegMoreData = 234,
};
enum : uint32_t { kRegTypeText = 1, kRegTypeDword = 4 };

// Opens root\subKey; kRegFileNotFound when there is no such key (or no registry file).
long RegOpenKeyW(RegKey root, const wchar_t* subKey, RegKey* key);
// The value's type and bytes. data may be null to ask for the size only; *size holds the room in
// bytes and receives the value's size. kRegMoreData (data untouched) when the room is too small.
long RegQueryValueExW(RegKey key, const wchar_t* name, uint32_t* reserved, uint32_t* type, uint8_t* data,
                      uint32_t* size);
long RegCloseKey(RegKey key);

}  // namespace platform
