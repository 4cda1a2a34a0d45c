#pragma once
#include <string>
#include <vector>

// The places where a database analyser may keep its working copy, in the order they are tried:
// the program's folder, then the user's cache folder ($XDG_CACHE_HOME or ~/.cache, "relikorda").
std::vector<std::wstring> WorkingFolderRoots();
// A folder name that no other analyser of this or another process uses: name.<pid>.<n>.
std::wstring UniqueWorkingFolderName(const std::wstring& name);
// Creates root/name afresh (whatever was there is deleted first); empty when it cannot.
std::wstring CreateWorkingFolder(const std::wstring& root, const std::wstring& name);
