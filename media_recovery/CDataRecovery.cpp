#include "media_recovery/CDataRecovery.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/CFileReader.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "sqlite_recovery/framework/Logger.h"
#include "sqlite_recovery/framework/SafeFileName.h"
#include "media_recovery/MediaErrors.h"
#include "platform/FileSystem.h"
#include "platform/PlatformFile.h"


namespace {
constexpr int kFirstAsk = 256;
constexpr int kMostPartitions = 0x10000;  // the index in a node's locator has 16 bits

// Anything but a sure "nothing there" counts as taken.
bool Exists(const std::string& path) {
    int error = 0;
    return platform::EntryExists(path, &error) || error != ENOENT;
}
}  // namespace

CDataRecovery::~CDataRecovery() {
    autolocker<critical_locker> guard(&lock_);
    if (current_) current_->Release();
    current_ = nullptr;
    ClearPartitions();
}

void CDataRecovery::ClearPartitions() {
    for (CSearchedPartitionInfo* p : partitions_) delete p;
    partitions_.clear();
}

ResultCode CDataRecovery::Open(IFileSystemSearchController* searcher, IStorageDevice* device) {
    if (!searcher || !device) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    autolocker<critical_locker> guard(&lock_);
    ClearPartitions();
    std::vector<CSearchedPartitionInfo*> found;
    int capacity = kFirstAsk;
    int answer = 0;
    // A searcher with more volumes than there is room for answers with their number: ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            found.assign(static_cast<size_t>(capacity), nullptr);
        } catch (const std::bad_alloc&) {
            return RK_FAIL(RK_E_OUT_OF_MEMORY);
        }
        answer = searcher->GetPartitions(found.data(), capacity);
        if (answer <= capacity) break;
        for (CSearchedPartitionInfo* p : found) delete p;
        if (answer > kMostPartitions) return RK_FAIL(MEDIA_E_NO_PARTITIONS);
        capacity = answer;
        answer = 0;
    }
    if (answer <= 0 || answer > capacity) {
        for (CSearchedPartitionInfo* p : found) delete p;
        return RK_FAIL(MEDIA_E_NO_PARTITIONS);
    }
    for (int i = answer; i < capacity; ++i) delete found[static_cast<size_t>(i)];  // written past the answer
    found.resize(static_cast<size_t>(answer));
    device_ = device;
    // Page memory: only the part a copy uses is ever touched, and nothing is cleared by hand.
    copyBuffer_ = platform::PageBuffer(kCopyBytes);
    if (!copyBuffer_) {
        for (CSearchedPartitionInfo* p : found) delete p;
        return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    std::stable_sort(found.begin(), found.end(), [](const CSearchedPartitionInfo* a, const CSearchedPartitionInfo* b) {
        if (!a || !b) return a && !b;  // empty slots last
        return a->weight > b->weight;
    });
    while (!found.empty() && !found.back()) found.pop_back();
    if (found.empty()) return RK_FAIL(MEDIA_E_NO_PARTITIONS);
    partitions_ = std::move(found);
    return RK_OK;
}

bool ClusterSizeFits(const CSearchedPartitionInfo& partition, CFileNode* node) {
    if (partition.sectorsPerCluster & 1) return false;
    IDataRunList* runs = node->GetDataRuns();
    if (!runs) return true;
    uint64_t units = 0;
    for (DataRun* run = runs->First(); run; run = runs->Next())
        units = run->length > std::numeric_limits<uint64_t>::max() - units ? std::numeric_limits<uint64_t>::max()
                                                                            : units + run->length;
    if (units <= 1) return true;
    double c = std::ceil(static_cast<double>(node->GetSize()) / static_cast<double>(units) / 512.0);
    if (c <= 1) return false;
    for (uint64_t p = 2; p <= (uint64_t{1} << 24); p <<= 1)
        if (static_cast<double>(p) / 2 < c && c <= static_cast<double>(p)) return p == partition.sectorsPerCluster;
    return false;
}

namespace {
bool InsidePartition(const CSearchedPartitionInfo& p, CFileNode* node) {
    int64_t location = node->GetLocatorLocation();
    if (location < 0) return false;
    uint64_t at = static_cast<uint64_t>(location);
    if (p.volumeLength > std::numeric_limits<uint64_t>::max() - p.volumeStart) return false;
    if (!(at > p.volumeStart && at < p.volumeStart + p.volumeLength)) return false;
    IDataRunList* runs = node->GetDataRuns();
    if (runs) {
        uint64_t spc = p.sectorsPerCluster;
        for (DataRun* run = runs->First(); run; run = runs->Next()) {
            if (run->IsSparse()) continue;
            uint64_t start = static_cast<uint64_t>(run->start);
            if (run->length > std::numeric_limits<uint64_t>::max() - start) return false;
            uint64_t end = start + run->length;  // units
            if (spc && end > std::numeric_limits<uint64_t>::max() / spc) return false;
            if (start * spc >= p.volumeLength) return false;
            if (end * spc > p.volumeLength) return false;  // (end x spc) - 1 below the length
        }
    }
    return ClusterSizeFits(p, node);
}
}  // namespace

const CSearchedPartitionInfo* CDataRecovery::FindPartition(CFileNode* node) const {
    if (partitions_.empty()) return nullptr;
    for (const CSearchedPartitionInfo* p : partitions_)
        if (p->index == node->GetPartitionIndex()) return p;
    for (const CSearchedPartitionInfo* p : partitions_)
        if (InsidePartition(*p, node)) return p;
    return partitions_.front();
}

IArchiveFileReader* CDataRecovery::OpenFile(IFileNode* node) {
    autolocker<critical_locker> guard(&lock_);
    // A folder is opened only for where its entries lie (its extents), never to be written.
    if (!node || partitions_.empty()) return nullptr;
    CFileNode* fileNode = dynamic_cast<CFileNode*>(node);
    if (!fileNode) return nullptr;
    const CSearchedPartitionInfo* partition = FindPartition(fileNode);
    CFileReader* reader = new (std::nothrow) CFileReader;
    if (reader && !reader->Bind(fileNode, partition, device_)) {
        reader->Release();
        reader = nullptr;
    }
    if (current_) current_->Release();
    current_ = reader;
    return current_ ? current_->Clone() : nullptr;
}

std::string MakeUniqueFileName(const char* folder, const std::string& extension, int first) {
    if (!folder) return std::string();
    std::string ext = (!extension.empty() && extension[0] == '.') ? extension : "." + extension;
    for (int n = std::max(first, 0); n < CDataRecovery::kMaxSubstituteNames; ++n) {
        char name[32];
        if (n == 0) std::snprintf(name, sizeof name, "rename_file");
        else std::snprintf(name, sizeof name, "rename_file_%04d", n);
        std::string candidate = std::string(folder) + name + ext;
        if (!Exists(candidate)) return candidate;
    }
    return std::string();
}

ResultCode CDataRecovery::RecoverTo(const char* destination, IProgress* sink, int acceptNoData) {
    if (!destination || !sink) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    autolocker<critical_locker> guard(&lock_);
    std::string path(destination);
    size_t slash = path.rfind('/');
    {
        // The name is the phone's: it is written as one component that reads as what it is
        // (no invisible format characters), cut to length with its extension kept.
        const size_t at = slash == std::string::npos ? 0 : slash + 1;
        std::string name = CleanFileName(path.substr(at));
        if (name.empty()) name = "unnamed";
        if (name != path.substr(at)) {
            RK_LOG("[Dredgel] RecoverTo writes %s as %s", destination, name.c_str());
            path.replace(at, std::string::npos, name);
        }
    }
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    record.state = PROGRESS_STATE_RUNNING;
    if (slash != std::string::npos) {
        std::string name = path.substr(slash + 1, 1022);
        std::memcpy(record.text, name.c_str(), name.size() + 1);
    }
    sink->OnProgress(&record);

    // Never over an existing file: a destination that exists or cannot be made gets a substitute.
    platform::PlatformFile out;
    if (!out.Open(path, platform::PlatformFile::Mode::CreateNew)) {
        RK_LOG("[Dredgel] RecoverTo failed, %d, lpDestFile = %s", 1, destination);
        std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        size_t dot = base.rfind('.');
        std::string extension = dot == std::string::npos ? std::string() : base.substr(dot);
        std::string substitute;
        bool opened = false;
        for (int n = 0; n < kMaxSubstituteNames && !opened;) {
            substitute = MakeUniqueFileName(folder.c_str(), extension, n);
            if (substitute.empty()) break;
            RK_LOG("[Dredgel] RecoverTo rename file : %s", substitute.c_str());
            opened = out.Open(substitute, platform::PlatformFile::Mode::CreateNew);
            if (!opened && out.LastError() != EEXIST) break;
            // Taken in the meantime: go on after it.
            size_t at = substitute.rfind("rename_file");
            int taken = 0;
            if (at != std::string::npos) std::sscanf(substitute.c_str() + at, "rename_file_%d", &taken);
            n = taken + 1;
        }
        if (!opened) {
            RK_LOG("[Dredgel] RecoverTo failed, %d, lpDestFile = %s, strFileName = %s", 2, destination,
                   substitute.c_str());
            return RK_FAIL(MEDIA_E_CANNOT_WRITE);
        }
    }

    if (!current_) return acceptNoData ? RK_OK : RK_FAIL(MEDIA_E_NO_FILE_OPEN);
    if (!copyBuffer_) {
        copyBuffer_ = platform::PageBuffer(kCopyBytes);
        if (!copyBuffer_) return RK_FAIL(RK_E_OUT_OF_MEMORY);
    }
    // Never more than the file's extents cover, and nothing past a sector the device cannot give:
    // what could be read is written, and the result says the file is short.
    uint64_t total = std::min(current_->GetSize(), current_->GetExtentBytes());
    record.total = total;
    uint64_t p = 0;
    while (p < total) {
        if (!sink->ShouldContinue()) return RK_OK;
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(total - p, kCopyBytes));
        record.result = 0;
        uint32_t got = current_->Read(p, copyBuffer_.data(), chunk);
        if (got > 0 && !out.WriteAt(p, copyBuffer_.data(), got)) {
            RK_LOG("[Dredgel] RecoverTo failed, %d, lpDestFile = %s, err : %d, pos = %llu, current = %llu, size = %u", 3,
                   destination, out.LastError(), static_cast<unsigned long long>(p), static_cast<unsigned long long>(p),
                   got);
            return RK_FAIL(MEDIA_E_CANNOT_WRITE);
        }
        p += got;
        record.done = p;
        sink->OnProgress(&record);
        if (got < chunk) break;
    }
    out.Close();
    return p < current_->GetSize() ? RK_FAIL(MEDIA_E_FILE_SHORT) : RK_OK;
}
