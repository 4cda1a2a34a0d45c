#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/PlatformFile.h"
#include "platform/TimeConversion.h"

// Where a run writes. Each run gets a folder of its own under the folder the user chose, so that
// nothing an earlier run recovered is ever replaced; every file and folder below it is made new,
// never through a link that is already there. Failures carry the reason in the system's words.

// Makes base (with missing parents) and in it a new folder named by the run's start,
// "YYYY-MM-DD-hh-mm-ss", or "YYYY-MM-DD-hh-mm-ss-2", "-3", ... when a run of the same second has
// that name. The folder's path; empty with *reason when none can be made.
std::string MakeRunFolder(const std::string& base, const platform::SystemTime& start, std::string* reason);

// Makes path and the missing folders between root (which exists) and it, none through a link.
// False with *reason naming the folder that could not be made. With made, the folders in it are
// taken as there (no call for them) and those made or found are added to it.
bool MakeFoldersBelow(const std::string& root, const std::string& path, std::string* reason,
                      std::unordered_set<std::string>* made = nullptr);

// A file made new for writing. It is written under a name of its own in the same folder, the
// file's name with kUnfinished after it (made new, never through a link), and takes its own name
// only once it is finished: a run that is ended part way leaves no partial file under a name that
// looks whole. When anything fails the partial file is removed and Reason() says why.
class OutputFile {
public:
    static constexpr const char* kUnfinished = ".part";

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False when something (a link included) already has the name or the file cannot be made.
    // A caller that chose a name nothing it knows of has may leave the name to be looked at by
    // Finish alone (one system call less a file).
    enum class NameCheck { kNow, kAtFinish };
    bool Create(const std::string& path, NameCheck check = NameCheck::kNow);
    bool Write(const void* data, size_t size);
    // Closes the file and gives it its name; false (and the file removed) when a write failed,
    // closing did, or something has the name. Then, when another is given, the file takes instead
    // the first name it gives that nothing has (it gives an empty one when it has no more).
    bool Finish(const std::function<std::string()>& another = nullptr);
    // Removes what was written so far.
    void Discard();
    const std::string& Reason() const { return reason_; }
    // The name the file has (once finished, the one it took).
    const std::string& Path() const { return path_; }

private:
    bool Fail(const std::string& reason);

    platform::PlatformFile file_;
    std::string path_;     // the file's name
    std::string written_;  // the name it is written under until it is finished
    std::string reason_;
    bool failed_ = false;
};

// Writes a whole new file; false with *reason as OutputFile gives it.
bool WriteNewFile(const std::string& path, const void* data, size_t size, std::string* reason);
// The same of a text in pieces, written one after another.
using FilePieces = std::vector<std::pair<const char*, size_t>>;
bool WriteNewFile(const std::string& path, const FilePieces& pieces, std::string* reason);
bool WriteNewFile(const std::string& path, const std::string& text, std::string* reason);

// Says on standard error that the file at path was not written, and why.
void ReportLostFile(const std::string& path, const std::string& reason);
