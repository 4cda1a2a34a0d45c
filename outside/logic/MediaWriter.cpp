#include "outside/logic/MediaWriter.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_set>
#include <vector>

#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/IArchiveDataRecovery.h"
#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/logic/DistinctFiles.h"
#include "outside/logic/AnalyserRun.h"
#include "outside/logic/FoundFileOpener.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/OutputFolder.h"
#include "platform/FileSystem.h"
#include "platform/PageMemory.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "sqlite_recovery/framework/SafeFileName.h"

namespace {

constexpr uint32_t kCarvedType = 20;
// A found file is copied out in pieces of this size: large enough that the reads and writes stay
// few, small enough that the buffer's first touch costs little.
constexpr uint32_t kCopyBytes = 0x100000;
constexpr size_t kMostFolderDepth = 64;
constexpr int kMostNameSuffixes = 100000;

const char* CategoryFolder(int flag) {
    switch (flag) {
        case FILTER_FLAG_PICTURE: return "pictures";
        case FILTER_FLAG_VIDEO: return "videos";
        case FILTER_FLAG_AUDIO: return "audio";
        default: return "documents";
    }
}

// Writes one run's found files: names them, keeps them apart, copies their bytes.
class MediaWriter {
public:
    enum class Outcome { Written, Failed, Gone, OtherCategory, Stopped };

    MediaWriter(FoundFileOpener& opener, const std::string& outFolder, int category, IWriteObserver* observer)
        : opener_(opener), outFolder_(outFolder), filesRoot_(platform::JoinPath(outFolder, "files")),
          category_(category), observer_(observer) {}

    bool OfCategory(const _ARCHIVE_INFOMATION& item) {
        return category_ == FILE_CATEGORY_ALL || FileCategoryOfFlag(filter_.GetCategoryFlag(item.node)) == category_;
    }
    // Writes the item (a file of its own) unless it is of another category.
    Outcome Write(const _ARCHIVE_INFOMATION& item, MediaCounts& counts);

private:
    std::string FolderOf(IFileNode* node);
    std::string FreePath(const std::string& folder, const std::string& name);
    // Copies the reader's bytes to a new file at *path, a free name in folder for name; without a
    // reader the file stays empty, as the library's own writer leaves it. *copied: the bytes
    // written. When something outside the run has the name by the end, the file takes the next
    // free one (and *path says which). When a file of wanted bytes (not 0) yields none, nothing is
    // left under any name: false with *reason empty.
    bool CopyOut(IArchiveFileReader* reader, uint64_t wanted, const std::string& folder, const std::string& name,
                 std::string* path, uint64_t* copied, std::string* reason);

    FoundFileOpener& opener_;
    std::string outFolder_, filesRoot_;
    int category_;
    IWriteObserver* observer_;
    CRecoveryFilter filter_;
    std::map<IFileNode*, std::string> folders_;      // a device folder's place in the output
    std::unordered_set<std::string> taken_;          // paths given to files and folders of this run
    std::unordered_set<std::string> folderPaths_;    // those given to folders
    std::unordered_set<std::string> made_;           // folders this run made (or found made) already
    platform::PageBuffer buffer_;  // page memory: only what a copy fills is ever touched
};

// name, or name_2.ext, name_3.ext, ... when this run gave that name already. The run's folder is
// its own, new: what else may be there is met when a file takes its name, which never replaces it.
std::string MediaWriter::FreePath(const std::string& folder, const std::string& name) {
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (int n = 1; n < kMostNameSuffixes; ++n) {
        std::string path = platform::JoinPath(folder, n == 1 ? name : stem + "_" + std::to_string(n) + ext);
        if (taken_.insert(path).second) return path;
    }
    return std::string();
}

// The output folder of a node's parent: the device's folders, each name cleaned, and a name that
// a file of this run already has (or two device names that clean to one another's file) made
// distinct, so that no file is lost to a clash.
std::string MediaWriter::FolderOf(IFileNode* node) {
    std::vector<IFileNode*> chain;
    std::set<IFileNode*> seen{node};
    for (IFileNode* parent = node->GetParent(); parent && chain.size() < kMostFolderDepth; parent = parent->GetParent()) {
        if (!seen.insert(parent).second) break;
        chain.push_back(parent);
    }
    std::string folder = filesRoot_;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const char* name = (*it)->GetName();
        if (!name || !*name) continue;
        auto known = folders_.find(*it);
        if (known != folders_.end()) {
            folder = known->second;
            continue;
        }
        std::string path = platform::JoinPath(folder, OutputFileName(name));
        // Folders of one name merge (one folder found by two searches, or on two volumes); a file
        // of that name does not give way.
        const platform::EntryKind kind = platform::GetEntryKind(path);
        bool clash = (taken_.count(path) && !folderPaths_.count(path)) ||
                     (kind != platform::EntryKind::Missing && kind != platform::EntryKind::Directory);
        if (clash) path = FreePath(folder, OutputFileName(name));
        else taken_.insert(path);
        folderPaths_.insert(path);
        folders_[*it] = path;
        folder = path;
    }
    return folder;
}

bool MediaWriter::CopyOut(IArchiveFileReader* reader, uint64_t wanted, const std::string& folder,
                          const std::string& name, std::string* path, uint64_t* copied, std::string* reason) {
    *copied = 0;
    bool writeFailed = false;
    OutputFile file;
    if (!file.Create(*path, OutputFile::NameCheck::kAtFinish)) {
        *reason = file.Reason();
        return false;
    }
    if (reader) {
        if (!buffer_) buffer_ = platform::PageBuffer(kCopyBytes);
        if (!buffer_) {
            file.Discard();
            *reason = "out of memory";
            return false;
        }
        uint64_t size = reader->GetSize();
        for (uint64_t at = 0; at < size;) {
            uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size - at, kCopyBytes));
            uint32_t got = reader->Read(at, buffer_.data(), chunk);
            if (got > 0 && !file.Write(buffer_.data(), got)) {
                writeFailed = true;
                break;
            }
            at += got;
            *copied = at;
            if (got < chunk) break;  // the file's extents end here
        }
    }
    if (wanted > 0 && *copied == 0 && !writeFailed) {
        file.Discard();
        reason->clear();
        return false;
    }
    const bool finished = file.Finish([&] { return FreePath(folder, name); });
    *path = file.Path();
    if (finished) return true;
    *reason = file.Reason();
    return false;
}

// Says on standard error that the file at path was written shorter than the file was, and why.
void ReportShortFile(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "relikorda-recover: %s is short: %s\n", path.c_str(), reason.c_str());
}

// Says on standard error that the carved file at path holds only the first part of the file it was.
void ReportCarvedInPart(const std::string& path, uint64_t written, const std::string& reason) {
    std::fprintf(stderr, "relikorda-recover: %s is carved in part: %s; its first %llu bytes are written\n",
                 path.c_str(), reason.c_str(), static_cast<unsigned long long>(written));
}

// Why a file written from a reader is shorter than the file was; empty when it is whole.
std::string WhyShort(IFileNode* node, IArchiveFileReader* reader, uint64_t copied) {
    const uint64_t size = node->GetSize();
    const std::string only = (copied ? "only " + std::to_string(copied) : std::string("none")) + " of its " +
                             std::to_string(size) + " bytes could be read: ";
    const char* rest = copied ? "the rest" : "it";
    uint64_t sector = 0;
    bool pastEnd = false;
    auto* extent = dynamic_cast<IArchiveFileExtent*>(reader);
    if (copied < size && extent && extent->GetUnreadableSector(&sector, &pastEnd))
        return only + (pastEnd ? rest + std::string(" lies past the end of the volume (from its sector ") +
                                     std::to_string(sector) + ")"
                               : "the volume's sector " + std::to_string(sector) + " cannot be read");
    auto* cut = dynamic_cast<CFileNode*>(node);
    // A node that keeps its recorded size past its extents: which clusters follow is not known.
    if (copied < size && cut && cut->IsSizeCut())
        return only + "which clusters hold " + rest +
               " is not known (its chain ends early, or no FAT of its volume could be trusted)";
    if (copied < size) return only + "its extents on the volume end there";
    if (cut && cut->IsSizeCut())
        return "the file system recorded it larger than the " + std::to_string(size) +
               " bytes its clusters on the volume hold: those are written";
    return std::string();
}

MediaWriter::Outcome MediaWriter::Write(const _ARCHIVE_INFOMATION& item, MediaCounts& counts) {
    IFileNode* node = item.node;
    bool carved = item.type == kCarvedType;
    if (!OfCategory(item)) return Outcome::OtherCategory;
    int flag = filter_.GetCategoryFlag(node);
    std::string name = OutputFileName(node->GetName() ? node->GetName() : "");
    if (observer_ && !observer_->OnItem(name)) return Outcome::Stopped;
    switch (flag) {
        case FILTER_FLAG_PICTURE: ++counts.pictures; break;
        case FILTER_FLAG_VIDEO: ++counts.videos; break;
        case FILTER_FLAG_AUDIO: ++counts.audio; break;
        default: ++counts.documents; break;
    }
    // A file only carving found has no entry any more: it was deleted.
    if (carved || node->IsDeleted()) ++counts.deleted;

    Held<IArchiveFileReader> reader(opener_.Open(item));
    std::string folder = carved ? platform::JoinPath(platform::JoinPath(filesRoot_, "carved"), CategoryFolder(flag))
                                : FolderOf(node);
    std::string reason, path;
    bool ok = false;
    uint64_t copied = 0;
    auto* cut = dynamic_cast<CFileNode*>(node);
    // A file whose clusters all lie past what the volume still holds (a cut image) has not one byte
    // left: it is not written, not even empty, and said as not written.
    if (cut && cut->IsSizeCut() && node->GetSize() == 0) {
        ReportLostFile(platform::JoinPath(folder, name),
                       "none of its bytes could be read: the file system gives it no clusters on the volume that "
                       "are its own");
        ++counts.gone;
        return Outcome::Gone;
    }
    // Each folder is made once, each level of it once: no failing mkdir.
    if (!MakeFoldersBelow(outFolder_, folder, &reason, &made_)) {
        path = platform::JoinPath(folder, name);
    } else if ((path = FreePath(folder, name)).empty()) {
        path = platform::JoinPath(folder, name);
        reason = "no free name is left in its folder";
    } else {
        // A node with a size but no extents the library can read (an Ext link's target kept in its
        // inode, say) keeps its name and place, and the summary says how many there are. One of
        // which the device holds no byte (its data past the end of a cut volume, or unreadable) is
        // not left at all, not even empty.
        const bool readable = reader || (cut && cut->IsSizeCut());
        ok = CopyOut(reader.get(), readable ? node->GetSize() : 0, folder, name, &path, &copied, &reason);
        if (!ok && reason.empty()) {
            ReportLostFile(path, WhyShort(node, reader.get(), 0));
            ++counts.gone;
            return Outcome::Gone;
        }
    }
    if (!ok) {
        ReportLostFile(path, reason);
        ++counts.failed;
        return Outcome::Failed;
    }
    ++counts.written;
    if (!reader && !(cut && cut->IsSizeCut())) {
        if (node->GetSize() != 0) ++counts.unreadable;
        return Outcome::Written;
    }
    // What could be read is kept; that it is not all of the file is said.
    const std::string inPart = carved && cut ? cut->CarvedInPart() : std::string();
    if (!inPart.empty()) {
        ReportCarvedInPart(path, copied, inPart);
        ++counts.carvedInPart;
    }
    std::string shortBy = WhyShort(node, reader.get(), copied);
    if (!shortBy.empty()) {
        ReportShortFile(path, shortBy);
        ++counts.shortFiles;
    }
    return Outcome::Written;
}
}  // namespace

int FileCategoryOfFlag(int filterFlag) {
    switch (filterFlag) {
        case FILTER_FLAG_PICTURE: return FILE_CATEGORY_PICTURES;
        case FILTER_FLAG_VIDEO: return FILE_CATEGORY_VIDEOS;
        case FILTER_FLAG_AUDIO: return FILE_CATEGORY_AUDIO;
        default: return FILE_CATEGORY_DOCUMENTS;
    }
}

std::string OutputFileName(const std::string& name) {
    std::string clean = CleanFileName(name);
    return clean.empty() ? "unnamed" : clean;
}

bool WriteMedia(FoundFileOpener& opener, IDataContainer<_ARCHIVE_INFOMATION>* container, const std::string& outFolder,
                int category, IWriteObserver* observer, IJobProgress* progress, MediaCounts* counts) {
    std::vector<_ARCHIVE_INFOMATION> items;
    if (container) {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container);
        for (auto it = container->Begin(); it != container->End(); ++it)
            if (it->second.node && (it->second.check || it->second.reserved == ARCHIVE_RECORD_UNLISTED))
                items.push_back(it->second);
    }
    // Each file once: the finds in the order the rule judges them, each judged by where its data
    // begins and what its entry says.
    std::sort(items.begin(), items.end(), DistinctFiles::JudgedBefore);
    std::vector<FoundFileFacts> facts = FactsOf(opener, items);
    // Those a running scan gave no time to read are judged without where their data lies; their
    // writing meets the same wait.
    for (size_t i = facts.size(); i < items.size(); ++i) facts.push_back(FactsOf(items[i], nullptr));

    MediaCounts found;
    bool stopped = false;
    size_t done = 0;
    DistinctFiles rule;
    MediaWriter writer(opener, outFolder, category, observer);
    for (size_t i = 0; i < items.size() && !stopped; ++i) {
        switch (rule.Judge(facts[i])) {
            case DistinctFiles::Verdict::Distinct:
                stopped = writer.Write(items[i], found) == MediaWriter::Outcome::Stopped;
                break;
            case DistinctFiles::Verdict::Overwritten:
                if (writer.OfCategory(items[i])) ++found.overwritten;
                break;
            case DistinctFiles::Verdict::Repeat:
            case DistinctFiles::Verdict::Unlisted: break;
        }
        if (progress && !stopped)
            progress->Update("media files", static_cast<double>(++done) / static_cast<double>(items.size()));
    }
    if (progress && !items.empty() && !stopped) progress->Finish("media files");
    if (counts) *counts = found;
    return found.failed == 0 && !stopped;
}
