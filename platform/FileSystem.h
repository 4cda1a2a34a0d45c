#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// Full path of the running executable; empty when it cannot be read.
std::string GetExecutablePath();
// Id of the running process.
long GetCurrentProcessId();

enum class EntryKind { Missing, File, Directory, Link, Other };
// Kind of a path without following a final symbolic link.
EntryKind GetEntryKind(const std::string& path);
// Whether the path names an entry, without following a final symbolic link (a dangling link
// exists). When it does not, errnoOut receives the reason (ENOENT, ENOTDIR, EACCES, ...).
bool EntryExists(const std::string& path, int* errnoOut = nullptr);

// Names in a folder other than "." and "..". False when the folder cannot be read; errnoOut
// receives the reason.
bool ListDirectory(const std::string& folder, std::vector<std::string>& names, int* errnoOut = nullptr);

// True when a folder (not a link to one) is there afterwards; otherwise errnoOut receives the
// reason (EEXIST when something else has the name).
bool CreateDirectory(const std::string& path, int* errnoOut = nullptr);
// Makes a folder that was not there: anything already having the name (a folder included) is a
// failure, errnoOut then EEXIST. Two processes never both make the same folder.
bool CreateNewDirectory(const std::string& path, int* errnoOut = nullptr);
// With missing parents; errnoOut receives the reason the first folder that could not be made gave.
bool CreateDirectories(const std::string& path, int* errnoOut = nullptr);
// Creates a folder that only the user may enter; false when anything is there already or it
// cannot be made.
bool CreatePrivateDirectory(const std::string& path);
// Creates a new folder that only the user may enter, named prefix followed by six random
// characters, inside folder; its path, or empty when none could be made.
std::string CreateUniquePrivateDirectory(const std::string& folder, const std::string& prefix);
// Whether the path is a folder itself (not a link to one) that belongs to the running user.
bool IsOwnDirectory(const std::string& path);
// The system's folder for temporary files: $TMPDIR when it names a folder, else /tmp.
std::string TemporaryFolder();
bool RemoveDirectory(const std::string& path);
bool DeleteFile(const std::string& path);
// Gives the file at from the name to, in the same folder, only while nothing (a link included) has
// that name: never replaces. False with errnoOut (EEXIST when the name is taken).
bool RenameNoReplace(const std::string& from, const std::string& to, int* errnoOut = nullptr);
bool CopyFile(const std::string& from, const std::string& to);  // replaces an existing target
long long FileSize(const std::string& path);                    // -1 when missing

// The identity of what a path names, links followed: its device and inode numbers, the same for
// every name of one file or folder (a bind mount of a folder included). False when it is missing.
bool GetFileIdentity(const std::string& path, uint64_t* device, uint64_t* inode);

// One mount of the system's mount table: its id, the file system's device ("major:minor"), the
// folder of that file system shown (its root, "/" for all of it; another for a bind mount) and where.
struct MountEntry {
    uint64_t id = 0;
    std::string device;
    std::string root;
    std::string mountPoint;
};
// The process's mount table, in the order of mounting; false when it cannot be read.
bool ReadMountTable(std::vector<MountEntry>* mounts);
// The id of the mount that holds what the path names (links followed); false when the system
// cannot tell.
bool GetMountId(const std::string& path, uint64_t* id);

// The path with every link, "." and ".." resolved; empty when it does not exist.
std::string RealPath(const std::string& path);
// The process's working folder; empty when it cannot be read.
std::string GetCurrentFolder();

// Folder part of a path: everything before the last '/', empty when there is none.
std::string ParentFolder(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);

// The system's text for an error number (errno), such as "No space left on device".
std::string ErrorText(int error);
// Whether the stream is a terminal (progress can then be redrawn in place).
bool IsTerminal(std::FILE* stream);

}  // namespace platform
