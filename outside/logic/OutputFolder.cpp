#include "outside/logic/OutputFolder.h"

#include <cerrno>
#include <cstdio>

#include "platform/FileSystem.h"

namespace {

// Why nothing new can be made at path, as far as what is already there tells.
std::string ExistingEntryReason(const std::string& path) {
    switch (platform::GetEntryKind(path)) {
        case platform::EntryKind::Link: return "a link is there, and links in the output folder are not followed";
        case platform::EntryKind::Directory: return "a folder of that name is there";
        case platform::EntryKind::Missing: return platform::ErrorText(EEXIST);
        default: return "a file of that name is there";
    }
}

// Why a folder cannot be made where something that is no folder holds its name or a parent's.
std::string InTheWay(const std::string& path) {
    std::string at = path;
    while (!at.empty() && at != "/" && !platform::EntryExists(at)) at = platform::ParentFolder(at);
    return at == path ? "it is not a folder" : at + " is not a folder";
}

std::string TimeName(const platform::SystemTime& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u-%02u-%02u-%02u", unsigned{t.year}, unsigned{t.month},
                  unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
    return text;
}

constexpr int kMostRunsPerSecond = 1000;
constexpr int kMostUnfinishedNames = 100;

}  // namespace

std::string MakeRunFolder(const std::string& base, const platform::SystemTime& start, std::string* reason) {
    int error = 0;
    if (!platform::CreateDirectories(base, &error)) {
        *reason = error == EEXIST ? InTheWay(base) : platform::ErrorText(error);
        return std::string();
    }
    const std::string name = TimeName(start);
    for (int n = 1; n <= kMostRunsPerSecond; ++n) {
        std::string path = platform::JoinPath(base, n == 1 ? name : name + "-" + std::to_string(n));
        // Made here or taken: a run started in the same second may have made it a moment ago.
        if (platform::CreateNewDirectory(path, &error)) return path;
        if (error != EEXIST) {
            *reason = platform::ErrorText(error);
            return std::string();
        }
    }
    *reason = "every name for this second is taken";
    return std::string();
}

bool MakeFoldersBelow(const std::string& root, const std::string& path, std::string* reason,
                      std::unordered_set<std::string>* made) {
    if (path == root || (made && made->count(path))) return true;
    if (path.compare(0, root.size(), root) != 0 || path.size() <= root.size() || path[root.size()] != '/') {
        *reason = "it lies outside " + root;
        return false;
    }
    size_t at = root.size();
    while (at < path.size()) {
        size_t next = path.find('/', at + 1);
        if (next == std::string::npos) next = path.size();
        std::string folder = path.substr(0, next);
        at = next;
        if (made && made->count(folder)) continue;
        int error = 0;
        if (!platform::CreateDirectory(folder, &error)) {
            std::string why = error == EEXIST ? ExistingEntryReason(folder) : platform::ErrorText(error);
            *reason = "cannot make the folder " + folder + ": " + why;
            return false;
        }
        if (made) made->insert(std::move(folder));
    }
    return true;
}

OutputFile::~OutputFile() {
    if (!written_.empty()) Discard();
}

bool OutputFile::Fail(const std::string& reason) {
    failed_ = true;
    if (reason_.empty()) reason_ = reason;
    return false;
}

bool OutputFile::Create(const std::string& path, NameCheck check) {
    path_.clear();
    written_.clear();
    reason_.clear();
    failed_ = false;
    if (check == NameCheck::kNow && platform::EntryExists(path)) return Fail(ExistingEntryReason(path));
    // An unfinished name that is taken (a file of the phone's, one a killed run left): the next.
    for (int n = 1; n <= kMostUnfinishedNames; ++n) {
        std::string unfinished = path + kUnfinished + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (file_.Open(unfinished, platform::PlatformFile::Mode::CreateNew)) {
            path_ = path;
            written_ = unfinished;  // made here, so only now it is ours to remove
            return true;
        }
        int error = file_.LastError();
        if (error != EEXIST) return Fail(platform::ErrorText(error));
    }
    return Fail("no unfinished name is free beside it");
}

bool OutputFile::Write(const void* data, size_t size) {
    if (failed_ || !file_.IsOpen()) return false;
    if (size == 0 || file_.Write(data, size)) return true;
    return Fail(platform::ErrorText(file_.LastError()));
}

bool OutputFile::Finish(const std::function<std::string()>& another) {
    if (!file_.IsOpen()) return false;
    int error = 0;
    if (!failed_ && !file_.Close(&error)) Fail(platform::ErrorText(error));
    // Never over what has the name now: the folder is the user's, and something may have come.
    while (!failed_ && !platform::RenameNoReplace(written_, path_, &error)) {
        const std::string next = error == EEXIST && another ? another() : std::string();
        if (next.empty()) {
            Fail(error == EEXIST ? ExistingEntryReason(path_) : platform::ErrorText(error));
            break;
        }
        path_ = next;
    }
    if (failed_) {
        Discard();
        return false;
    }
    written_.clear();
    return true;
}

void OutputFile::Discard() {
    int ignored = 0;
    if (file_.IsOpen()) file_.Close(&ignored);
    // The file was made by this object (never an existing one), so it is ours to remove.
    if (!written_.empty()) platform::DeleteFile(written_);
    written_.clear();
}

namespace {

enum class WholeFile { Written, NotWritten, NotTried };

// Writes a file whose bytes are all at hand without a name and names it once it is whole: a run
// ended meanwhile leaves nothing, and it takes four system calls and two entries' work in the
// folder, where the unfinished name takes five calls and five. NotTried where the file system makes
// no such files, or where it could not be named for a reason the unfinished name will say too.
WholeFile WriteUnnamedThenName(const std::string& path, const FilePieces& pieces, std::string* reason) {
    // A folder that cannot have such files is not asked again for each of its files.
    thread_local std::string refusingFolder;
    const std::string folder = platform::ParentFolder(path);
    if (folder == refusingFolder) return WholeFile::NotTried;
    platform::PlatformFile file;
    if (!file.CreateUnnamed(folder)) {
        const int error = file.LastError();
        if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) refusingFolder = folder;
        return WholeFile::NotTried;
    }
    if (!file.Write(pieces)) {
        *reason = platform::ErrorText(file.LastError());
        return WholeFile::NotWritten;  // and gone with its descriptor
    }
    int error = 0;
    if (!file.Name(path, &error)) {
        // Without /proc, only the privileged may name such a file.
        if (error == ENOENT || error == EPERM) refusingFolder = folder;
        if (error != EEXIST) return WholeFile::NotTried;
        *reason = ExistingEntryReason(path);
        return WholeFile::NotWritten;
    }
    if (!file.Close(&error)) {
        // A write the system held back failed: the name goes, as a failed unfinished file does.
        platform::DeleteFile(path);
        *reason = platform::ErrorText(error);
        return WholeFile::NotWritten;
    }
    return WholeFile::Written;
}

}  // namespace

bool WriteNewFile(const std::string& path, const FilePieces& pieces, std::string* reason) {
    std::string why;
    switch (WriteUnnamedThenName(path, pieces, &why)) {
        case WholeFile::Written: return true;
        case WholeFile::NotWritten:
            if (reason) *reason = why;
            return false;
        case WholeFile::NotTried: break;
    }
    OutputFile file;
    bool ok = file.Create(path);
    for (size_t i = 0; ok && i < pieces.size(); ++i) ok = file.Write(pieces[i].first, pieces[i].second);
    ok = ok && file.Finish();
    if (!ok && reason) *reason = file.Reason();
    return ok;
}

bool WriteNewFile(const std::string& path, const void* data, size_t size, std::string* reason) {
    return WriteNewFile(path, FilePieces{{static_cast<const char*>(data), size}}, reason);
}

bool WriteNewFile(const std::string& path, const std::string& text, std::string* reason) {
    return WriteNewFile(path, text.data(), text.size(), reason);
}

void ReportLostFile(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "relikorda-recover: %s was not written: %s\n", path.c_str(), reason.c_str());
}
