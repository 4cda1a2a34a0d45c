#include "outside/logic/MediaJob.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/IArchiveDataRecovery.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/device/CDeviceFolder.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/OutputFolder.h"
#include "outside/logic/RecoveryJob.h"
#include "outside/logic/SectorCountingDevice.h"
#include "platform/DynamicLibrary.h"
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

// Where a find's data begins: the same place on the same volume is the same file.
using DataStart = std::pair<IStorageDevice*, uint64_t>;

struct MediaCounts {
    int pictures = 0, videos = 0, audio = 0, documents = 0, deleted = 0, written = 0, failed = 0;
    int unreadable = 0;  // written empty: the library has no way to read their data
};

const char* CategoryFolder(int flag) {
    switch (flag) {
        case FILTER_FLAG_PICTURE: return "pictures";
        case FILTER_FLAG_VIDEO: return "videos";
        case FILTER_FLAG_AUDIO: return "audio";
        default: return "documents";
    }
}

// The scan's progress: the share of the volumes' sectors read when they are counted, else the
// library's own share. Never the end before the library returns.
class ScanProgress : public IProgress {
public:
    ScanProgress(IJobProgress* progress, const MediaScanWatch& watch) : progress_(progress), watch_(watch) {}
    void OnProgress(const PROGRESS_INFO* record) override {
        if (!progress_ || !record) return;
        double share = 0;
        uint64_t total = record->total, done = record->done;  // copies: the record is packed
        if (watch_.device && watch_.sectors)
            share = static_cast<double>(watch_.device->SectorsRead()) / static_cast<double>(watch_.sectors);
        else if (total)
            share = static_cast<double>(done) / static_cast<double>(total);
        progress_->Update(watch_.phase, std::min(share, kMostBeforeTheEnd));
    }
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }

private:
    static constexpr double kMostBeforeTheEnd = 0.99;
    IJobProgress* progress_;
    const MediaScanWatch& watch_;
};

// Writes one run's found files: names them, keeps them apart, copies their bytes.
class MediaWriter {
public:
    MediaWriter(const MediaLibraryCalls& calls, DredgelAnalyzer* analyser, const std::string& outFolder)
        : calls_(calls), analyser_(analyser), outFolder_(outFolder),
          filesRoot_(platform::JoinPath(outFolder, "files")) {}
    ~MediaWriter() {
        for (auto& entry : recoveries_)
            if (entry.second) entry.second->Release();
    }

    // Writes the item unless it is a file already written; false when it was that.
    bool Write(const _ARCHIVE_INFOMATION& item, MediaCounts& counts);
    const std::string& FilesRoot() const { return filesRoot_; }

private:
    IArchiveDataRecovery* RecoveryFor(const _ARCHIVE_INFOMATION& item);
    std::string FolderOf(IFileNode* node);
    std::string FreePath(const std::string& folder, const std::string& name);
    // Copies the reader's bytes to a new file at path; without a reader the file stays empty, as
    // the library's own writer leaves it.
    bool CopyOut(IArchiveFileReader* reader, const std::string& path, std::string* reason);

    const MediaLibraryCalls& calls_;
    DredgelAnalyzer* analyser_;
    std::string outFolder_, filesRoot_;
    CRecoveryFilter filter_;
    std::map<std::pair<uint64_t, uint32_t>, IArchiveDataRecovery*> recoveries_;
    std::set<DataStart> written_;
    std::map<IFileNode*, std::string> folders_;  // a device folder's place in the output
    std::set<std::string> taken_;                // paths given to files and folders of this run
    platform::PageBuffer buffer_;  // page memory: only what a copy fills is ever touched
};

IArchiveDataRecovery* MediaWriter::RecoveryFor(const _ARCHIVE_INFOMATION& item) {
    auto key = std::make_pair(item.owner, item.type);
    auto found = recoveries_.find(key);
    if (found != recoveries_.end()) return found->second;
    return recoveries_[key] = calls_.getDredgelObj(analyser_, &item);
}

// name, or name_2.ext, name_3.ext, ... when this run gave that name already or something is there.
std::string MediaWriter::FreePath(const std::string& folder, const std::string& name) {
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (int n = 1; n < kMostNameSuffixes; ++n) {
        std::string path = platform::JoinPath(folder, n == 1 ? name : stem + "_" + std::to_string(n) + ext);
        if (!taken_.count(path) && !platform::EntryExists(path)) {
            taken_.insert(path);
            return path;
        }
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
        // Folders of one name merge; a file of that name does not give way.
        bool clash = taken_.count(path) || (platform::EntryExists(path) &&
                                            platform::GetEntryKind(path) != platform::EntryKind::Directory);
        if (clash) path = FreePath(folder, OutputFileName(name));
        else taken_.insert(path);
        folders_[*it] = path;
        folder = path;
    }
    return folder;
}

bool MediaWriter::CopyOut(IArchiveFileReader* reader, const std::string& path, std::string* reason) {
    OutputFile file;
    if (!file.Create(path)) {
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
            if (got > 0 && !file.Write(buffer_.data(), got)) break;
            at += got;
            if (got < chunk) break;  // the file's extents end here
        }
    }
    if (file.Finish()) return true;
    *reason = file.Reason();
    return false;
}

bool MediaWriter::Write(const _ARCHIVE_INFOMATION& item, MediaCounts& counts) {
    IFileNode* node = item.node;
    bool carved = item.type == kCarvedType;
    IArchiveDataRecovery* recovery = RecoveryFor(item);
    IArchiveFileReader* reader = recovery ? recovery->OpenFile(node) : nullptr;
    IStorageDevice* volume = nullptr;
    uint64_t offset = 0;
    auto* extent = dynamic_cast<IArchiveFileExtent*>(reader);
    if (extent && extent->GetFirstByte(&volume, &offset) && !written_.insert(DataStart(volume, offset)).second) {
        reader->Release();
        return false;  // found before, by a file system or another search
    }

    int category = filter_.GetCategoryFlag(node);
    switch (category) {
        case FILTER_FLAG_PICTURE: ++counts.pictures; break;
        case FILTER_FLAG_VIDEO: ++counts.videos; break;
        case FILTER_FLAG_AUDIO: ++counts.audio; break;
        default: ++counts.documents; break;
    }
    // A file only carving found has no entry any more: it was deleted.
    if (carved || node->IsDeleted()) ++counts.deleted;

    std::string folder = carved ? platform::JoinPath(platform::JoinPath(filesRoot_, "carved"), CategoryFolder(category))
                                : FolderOf(node);
    std::string name = OutputFileName(node->GetName() ? node->GetName() : "");
    std::string reason, path;
    bool ok = false;
    if (!MakeFoldersBelow(outFolder_, folder, &reason)) {
        path = platform::JoinPath(folder, name);
    } else if ((path = FreePath(folder, name)).empty()) {
        path = platform::JoinPath(folder, name);
        reason = "no free name is left in its folder";
    } else {
        ok = CopyOut(reader, path, &reason);
        // A node with a size but no extents the library can read (an Ext link's target kept in
        // its inode, say) keeps its name and place, and the summary says how many there are.
        if (ok && !reader && node->GetSize() != 0) ++counts.unreadable;
    }
    if (reader) reader->Release();
    if (ok) {
        ++counts.written;
    } else {
        ReportLostFile(path, reason);
        ++counts.failed;
    }
    return true;
}

}  // namespace

std::string OutputFileName(const std::string& name) {
    std::string clean = CleanFileName(name);
    return clean.empty() ? "unnamed" : clean;
}

int RunMediaJobWith(const MediaLibraryCalls& calls, IVirtualDevice& device, const std::string& outFolder,
                    FILE* report, IJobProgress* progress, const MediaScanWatch& watch) {
    if (!calls.createObject || !calls.getDredgelObj) {
        std::fprintf(report, "media: the media library has not its exports\n");
        return 1;
    }
    ICommon* object = calls.createObject();
    DredgelAnalyzer* analyser = dynamic_cast<DredgelAnalyzer*>(object);
    if (!analyser) {
        std::fprintf(report, "media: the media library made no analyser\n");
        if (object) object->Release();
        return 1;
    }
    ScanProgress sink(progress, watch);
    IDataContainer<_ARCHIVE_INFOMATION>* container = analyser->Initialize(&device, &sink);
    if (!container) {
        std::fprintf(report, "media: no storage volume could be opened\n");
        analyser->Release();
        return 0;
    }
    analyser->StartRecovery(nullptr);
    if (progress) progress->Finish(watch.phase);

    std::vector<_ARCHIVE_INFOMATION> items;
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container);
        for (auto it = container->Begin(); it != container->End(); ++it)
            if (it->second.node) items.push_back(it->second);
    }
    // The file systems' finds first, so that a carved hit at a file's first byte yields to the
    // file system's name.
    std::sort(items.begin(), items.end(), [](const _ARCHIVE_INFOMATION& a, const _ARCHIVE_INFOMATION& b) {
        bool carvedA = a.type == kCarvedType, carvedB = b.type == kCarvedType;
        return carvedA != carvedB ? carvedB : a.id < b.id;
    });

    MediaCounts counts;
    size_t distinct = 0, done = 0;
    {
        MediaWriter writer(calls, analyser, outFolder);
        for (const _ARCHIVE_INFOMATION& item : items) {
            if (writer.Write(item, counts)) ++distinct;
            if (progress) progress->Update("media files", static_cast<double>(++done) / static_cast<double>(items.size()));
        }
        if (progress && !items.empty()) progress->Finish("media files");
        std::fprintf(report, "media: %zu files found (pictures %d, videos %d, audio %d, documents %d; %d deleted)\n",
                     distinct, counts.pictures, counts.videos, counts.audio, counts.documents, counts.deleted);
        std::fprintf(report, "media: %d written under %s, %d failed\n", counts.written, writer.FilesRoot().c_str(),
                     counts.failed);
        if (counts.unreadable)
            std::fprintf(report, "media: %d of them written empty: the volume holds no data the library can read for them\n",
                         counts.unreadable);
    }
    analyser->Release();
    return counts.failed ? 1 : 0;
}

int RunMediaJob(IVirtualDevice& device, const std::string& outFolder, FILE* report, IJobProgress* progress,
                const MediaScanWatch& watch) {
    platform::LibraryHandle library = platform::LoadLibraryW(L"Dredgel");
    if (!library) {
        std::fprintf(report, "media: libDredgel.so not found\n");
        return 1;
    }
    MediaLibraryCalls calls;
    calls.createObject = reinterpret_cast<DredgelCreateObjectFn>(platform::GetProcAddress(library, "CreateObject"));
    calls.getDredgelObj = reinterpret_cast<GetDredgelObjFn>(platform::GetProcAddress(library, "GetDredgelObj"));
    int result = RunMediaJobWith(calls, device, outFolder, report, progress, watch);
    // The library stays loaded: its reader threads are joined when the process ends.
    return result;
}

int MediaRecoveryJob(JobContext& context) {
    if (!context.device) return 1;
    MediaScanWatch watch;
    for (size_t i = 0; i < context.device->StorageCount(); ++i) {
        CImageStorage* volume = context.device->Storage(i);
        if (volume->Open()) watch.sectors += volume->GetSectorCount();
        volume->Close();
    }
    watch.phase = "media scan of " + std::to_string(watch.sectors) + " sectors";
    // The library's own percentages weigh its passes, not the sectors: the share of the sectors
    // read is what tells how long a large card still takes.
    SectorCountingDevice counted(*context.device);
    watch.device = &counted;
    return RunMediaJob(counted, context.out, context.report, context.progress, watch);
}
