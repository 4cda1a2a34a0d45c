#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/PlatformFile.h"

namespace platform {

std::string GetExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

long GetCurrentProcessId() { return static_cast<long>(getpid()); }

EntryKind GetEntryKind(const std::string& path) {
    struct stat st;
    if (path.empty() || lstat(path.c_str(), &st) != 0) return EntryKind::Missing;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    return EntryKind::Other;
}

bool EntryExists(const std::string& path, int* errnoOut) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) return true;
    if (errnoOut) *errnoOut = errno;
    return false;
}

bool ListDirectory(const std::string& folder, std::vector<std::string>& names, int* errnoOut) {
    names.clear();
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        if (errnoOut) *errnoOut = errno;
        return false;
    }
    errno = 0;
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
        errno = 0;
    }
    int error = errno;
    closedir(dir);
    if (errnoOut) *errnoOut = error;
    return error == 0;
}

bool CreateDirectory(const std::string& path, int* errnoOut) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    int error = errno;
    if (error == EEXIST && GetEntryKind(path) == EntryKind::Directory) return true;
    if (errnoOut) *errnoOut = error;
    return false;
}

bool CreateNewDirectory(const std::string& path, int* errnoOut) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    if (errnoOut) *errnoOut = errno;
    return false;
}

bool CreateDirectories(const std::string& path, int* errnoOut) {
    if (path.empty()) {
        if (errnoOut) *errnoOut = ENOENT;
        return false;
    }
    if (GetEntryKind(path) == EntryKind::Directory) return true;
    std::string parent = ParentFolder(path);
    if (!parent.empty() && parent != path && !CreateDirectories(parent, errnoOut)) return false;
    return CreateDirectory(path, errnoOut);
}

bool CreatePrivateDirectory(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

std::string CreateUniquePrivateDirectory(const std::string& folder, const std::string& prefix) {
    std::string pattern = JoinPath(folder, prefix + "XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes the folder with mode 0700, under a name nobody had.
    return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

bool IsOwnDirectory(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && tmp[0] == '/' && GetEntryKind(tmp) == EntryKind::Directory) return tmp;
    return "/tmp";
}

bool RemoveDirectory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameNoReplace(const std::string& from, const std::string& to, int* errnoOut) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    int error = errno;
    // A file system that cannot rename without replacing: a hard link fails on a taken name too;
    // one without links either is asked whether the name is free just before the rename.
    if (error == EINVAL || error == ENOSYS) {
        if (link(from.c_str(), to.c_str()) == 0) {
            unlink(from.c_str());
            return true;
        }
        error = errno;
        if (error == EPERM || error == EOPNOTSUPP) {
            struct stat st;
            if (lstat(to.c_str(), &st) == 0) error = EEXIST;
            else if (errno == ENOENT && rename(from.c_str(), to.c_str()) == 0) return true;
            else error = errno;
        }
    }
    if (errnoOut) *errnoOut = error;
    return false;
}

bool CopyFile(const std::string& from, const std::string& to) {
    PlatformFile in;
    if (!in.Open(from, PlatformFile::Mode::Read)) return false;
    PlatformFile out;
    if (!out.Open(to, PlatformFile::Mode::CreateAlways)) return false;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        long long n = in.Read(buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) return true;
        if (!out.Write(buffer.data(), static_cast<size_t>(n))) return false;
    }
}

long long FileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

bool GetFileIdentity(const std::string& path, uint64_t* device, uint64_t* inode) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return false;
    *device = static_cast<uint64_t>(st.st_dev);
    *inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

namespace {
// A field of /proc/self/mountinfo, whose blanks, tabs, newlines and backslashes are written "\\ooo".
std::string UnescapeMountField(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
                           field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7';
        if (!octal) {
            text += field[i];
            continue;
        }
        text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
        i += 3;
    }
    return text;
}
}  // namespace

bool ReadMountTable(std::vector<MountEntry>* mounts) {
    mounts->clear();
    std::FILE* table = std::fopen("/proc/self/mountinfo", "re");
    if (!table) return false;
    char* line = nullptr;
    size_t capacity = 0;
    while (getline(&line, &capacity, table) > 0) {
        // Mount id, parent id, major:minor, root, mount point, then options and more.
        std::vector<std::string> fields;
        for (const char* at = line; *at && *at != '\n' && fields.size() < 5;) {
            const char* end = at;
            while (*end && *end != ' ' && *end != '\n') ++end;
            fields.emplace_back(at, end);
            at = *end == ' ' ? end + 1 : end;
        }
        if (fields.size() == 5)
            mounts->push_back({std::strtoull(fields[0].c_str(), nullptr, 10), fields[2], UnescapeMountField(fields[3]),
                               UnescapeMountField(fields[4])});
    }
    std::free(line);
    std::fclose(table);
    return !mounts->empty();
}

bool GetMountId(const std::string& path, uint64_t* id) {
    struct statx info {};
    if (path.empty() || statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &info) != 0 || !(info.stx_mask & STATX_MNT_ID))
        return false;
    *id = info.stx_mnt_id;
    return true;
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string GetCurrentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string ParentFolder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ErrorText(int error) {
    char buffer[256];
    // The GNU form returns the text, which need not be in the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : "error " + std::to_string(error);
}

bool IsTerminal(std::FILE* stream) { return stream && isatty(fileno(stream)) == 1; }

}  // namespace platform
