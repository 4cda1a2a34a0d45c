#pragma once
#include <string>

namespace platform {

using LibraryHandle = void*;

// The file name under which a library called "X" or "X.dll" is built here: "libX.so".
// Names that already look like a shared object ("libX.so", "X.so") are kept.
std::string MapLibraryName(const std::wstring& name);

// Loads a library by name, first from the folder of the running program, then from the ordinary
// search path. Null when it cannot be loaded.
LibraryHandle LoadLibraryW(const wchar_t* name);
void* GetProcAddress(LibraryHandle library, const char* symbol);
void FreeLibrary(LibraryHandle library);

}  // namespace platform
