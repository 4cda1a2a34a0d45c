#pragma once
#include <string>

// Folder of the running executable (not of the library); empty when it cannot be read.
std::wstring GetProgramFolder();
// False for an empty path or one that is known not to exist; true otherwise (also when the lookup
// fails for another reason).
bool PathExists(const std::wstring& path);
// Deletes the folder with everything in it, never following a symbolic link. A folder that does
// not exist counts as deleted.
bool DeleteFolderTree(const std::wstring& folder);
