#pragma once
#include <string>
#include <vector>

// The places where a database analyser may keep its working copy, in the order they are tried:
// the system's temporary folder ($TMPDIR, else /tmp). Nothing is kept beside the program or in the
// user's folders.
std::vector<std::wstring> WorkingFolderRoots();
// Creates a new folder only the user may enter, root/relikorda-<name>.<pid>.<six random characters>
// (root itself is made when missing); empty when it cannot. Folders of that form that a process no
// longer running left in root (a run that was killed) are removed first.
std::wstring CreateWorkingFolder(const std::wstring& root, const std::wstring& name);
// Removes the working folders in root whose process is no longer running and that belong to this
// user; returns how many were removed.
int RemoveAbandonedWorkingFolders(const std::wstring& root);
