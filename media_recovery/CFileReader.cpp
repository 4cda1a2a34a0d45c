#include "media_recovery/CFileReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "media_recovery/file_model/CFileNode.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"


namespace {
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// a x b, or the largest value when that does not fit.
uint64_t SaturatingMul(uint64_t a, uint64_t b) { return (b != 0 && a > kMax / b) ? kMax : a * b; }
uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > kMax - b ? kMax : a + b; }
}  // namespace

CFileReader::~CFileReader() {}

bool CFileReader::AllocateBuffer() {
    // As many whole device sectors as fit in 4 MiB (at least one), but no more than the file can
    // use: its size and one sector more for a start inside a sector. Page memory, which reads
    // fill at full speed.
    uint64_t sectors = std::max<uint64_t>(kBufferBytes / sectorSize_, 1);
    sectors = std::min<uint64_t>(sectors, size_ / sectorSize_ + 2);
    buffer_ = platform::PageBuffer(static_cast<size_t>(sectors * sectorSize_));
    return static_cast<bool>(buffer_);
}

bool CFileReader::Bind(CFileNode* node, const CSearchedPartitionInfo* partition, IStorageDevice* device) {
    if (!node || !partition || !device) return false;
    uint64_t clusterBytes = static_cast<uint64_t>(partition->sectorsPerCluster) * partition->sectorSize;
    if (clusterBytes < 1 || clusterBytes > 0x2000000) return false;
    if (!node->GetDataRuns()) return false;
    // A folder's size says nothing of its entries (a FAT folder records 0): it is what its extents hold.
    uint64_t size = node->GetSize();
    if (node->IsDirectory()) {
        size = 0;
        for (DataRun* run = node->GetDataRuns()->First(); run; run = node->GetDataRuns()->Next())
            size = SaturatingAdd(size, SaturatingMul(run->length, clusterBytes));
    }
    if (size == 0) return false;
    runs_ = node->GetDataRuns();
    stretches_.clear();
    stretchesKnown_ = false;
    node_ = node;
    device_ = device;
    clusterBytes_ = clusterBytes;
    sectorsPerCluster_ = partition->sectorsPerCluster;
    size_ = size;
    dataStart_ = partition->dataStart;
    sectorSize_ = device->GetSectorSize() ? device->GetSectorSize() : 512;
    // The buffer is made by the first read: a reader that is only asked where its file lies, or
    // only cloned, costs nothing.
    buffer_ = platform::PageBuffer();
    lazyBuffer_ = true;
    return true;
}

IArchiveFileReader* CFileReader::Clone() {
    CFileReader* copy = new (std::nothrow) CFileReader;
    if (!copy) return nullptr;
    copy->runs_ = runs_;
    copy->device_ = device_;
    copy->node_ = node_;
    copy->clusterBytes_ = clusterBytes_;
    copy->sectorsPerCluster_ = sectorsPerCluster_;
    copy->size_ = size_;
    copy->dataStart_ = dataStart_;
    copy->sectorSize_ = sectorSize_;
    // The copy's buffer is made by its first read: a clone that is only looked at costs nothing.
    copy->lazyBuffer_ = static_cast<bool>(buffer_) || lazyBuffer_;
    return copy;
}

bool CFileReader::GetFirstByte(IStorageDevice** volume, uint64_t* offset) {
    if (!runs_ || !device_) return false;
    DataRun* run = runs_->First();
    if (!run || run->IsSparse() || run->length == 0) return false;
    uint64_t start = SaturatingAdd(SaturatingMul(dataStart_, sectorSize_),
                                   SaturatingMul(static_cast<uint64_t>(run->start), clusterBytes_));
    if (start == kMax) return false;
    if (volume) *volume = device_;
    if (offset) *offset = start;
    return true;
}

bool CFileReader::GetStretch(size_t index, uint64_t* offset, uint64_t* bytes) {
    if (!runs_ || !device_) return false;
    if (!stretchesKnown_) {
        // Listed once: asking for each stretch in turn must not walk the runs again each time.
        stretchesKnown_ = true;
        const uint64_t origin = SaturatingMul(dataStart_, sectorSize_);
        uint64_t covered = 0;
        try {
            for (DataRun* run = runs_->First(); run && covered < size_; run = runs_->Next()) {
                uint64_t runBytes = std::min(SaturatingMul(run->length, clusterBytes_), size_ - covered);
                covered += runBytes;
                if (run->IsSparse() || runBytes == 0) continue;
                uint64_t start = SaturatingAdd(origin, SaturatingMul(static_cast<uint64_t>(run->start), clusterBytes_));
                if (start == kMax) break;
                stretches_.emplace_back(start, runBytes);
            }
        } catch (const std::bad_alloc&) {
            stretches_.clear();
        }
    }
    if (index >= stretches_.size()) return false;
    if (offset) *offset = stretches_[index].first;
    if (bytes) *bytes = stretches_[index].second;
    return true;
}

uint64_t CFileReader::GetExtentBytes() {
    if (!runs_) return 0;
    uint64_t covered = 0;
    for (DataRun* run = runs_->First(); run && covered < size_; run = runs_->Next())
        covered = SaturatingAdd(covered, SaturatingMul(run->length, clusterBytes_));
    return std::min(covered, size_);
}

bool CFileReader::GetUnreadableSector(uint64_t* sector, bool* pastEnd) {
    if (!stopped_) return false;
    if (sector) *sector = stoppedAt_;
    if (pastEnd) *pastEnd = stoppedPastEnd_;
    return true;
}

uint64_t CFileReader::ReadDevice(uint8_t* data, uint64_t first, uint64_t count) {
    // What lies past the device's end is not asked for: a device that is shorter than its file
    // system says (a cut image, a card that shrank) holds none of it.
    const uint64_t deviceSectors = device_->GetSectorCount();
    uint64_t there = count;
    if (deviceSectors) there = first >= deviceSectors ? 0 : std::min(count, deviceSectors - first);
    if (there == count && device_->ReadSectors(data, first, count)) return count;
    uint64_t good = 0;
    if (there > 0 && there < count && device_->ReadSectors(data, first, there)) {
        good = there;
    } else {
        // The first sector that cannot be read: the file's bytes end before it.
        while (good < there && device_->ReadSectors(data + good * sectorSize_, first + good, 1)) ++good;
    }
    if (!stopped_) {
        stopped_ = true;
        stoppedAt_ = first + good;
        stoppedPastEnd_ = good == there && there < count;
        RK_LOG("[Dredgel] sector %llu %s: the recovered file is read up to it",
               static_cast<unsigned long long>(stoppedAt_), stoppedPastEnd_ ? "lies past the device's end" : "cannot be read");
    }
    return good;
}

uint32_t CFileReader::Read(uint64_t offset, void* buffer, uint32_t length) {
    if (!buffer_ && lazyBuffer_ && AllocateBuffer()) lazyBuffer_ = false;
    if (!buffer || !runs_ || !buffer_ || offset >= size_ || runs_->IsResident()) return 0;
    uint64_t want = std::min<uint64_t>(length, size_ - offset);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const uint64_t bufferSectors = buffer_.size() / sectorSize_;
    const uint64_t origin = SaturatingMul(dataStart_, sectorSize_);
    uint64_t copied = 0;
    uint64_t runFileStart = 0;  // file byte at which the current run begins
    for (DataRun* run = runs_->First(); run && copied < want; run = runs_->Next()) {
        uint64_t runBytes = SaturatingMul(run->length, clusterBytes_);
        uint64_t runFileEnd = SaturatingAdd(runFileStart, runBytes);
        while (copied < want && offset < runFileEnd) {
            uint64_t inRun = offset - runFileStart;
            uint64_t piece = std::min(want - copied, runFileEnd - offset);
            if (run->IsSparse()) {
                piece = std::min<uint64_t>(piece, buffer_.size());
                std::memset(out, 0, static_cast<size_t>(piece));
            } else {
                uint64_t runDeviceByte = SaturatingAdd(origin, SaturatingMul(static_cast<uint64_t>(run->start), clusterBytes_));
                uint64_t deviceByte = SaturatingAdd(runDeviceByte, inRun);
                if (deviceByte == kMax) return static_cast<uint32_t>(copied);  // beyond any device
                uint64_t sector = deviceByte / sectorSize_;
                uint64_t skip = deviceByte % sectorSize_;
                // A small piece that ends inside a sector is read in one read through the buffer
                // and copied, rather than in a read of its whole sectors and another of the rest.
                const bool oneRead = piece <= kOneReadBytes && piece % sectorSize_ != 0 &&
                                     skip + piece <= bufferSectors * sectorSize_;
                if (skip == 0 && piece >= sectorSize_ && !oneRead) {
                    // Whole sectors go straight to the caller's buffer.
                    piece -= piece % sectorSize_;
                    const uint64_t sectors = piece / sectorSize_;
                    const uint64_t got = ReadDevice(out, sector, sectors);
                    if (got < sectors) return static_cast<uint32_t>(copied + got * sectorSize_);
                } else {
                    piece = std::min<uint64_t>(piece, bufferSectors * sectorSize_ - skip);
                    const uint64_t sectors = (skip + piece + sectorSize_ - 1) / sectorSize_;
                    const uint64_t got = ReadDevice(buffer_.data(), sector, sectors);
                    if (got < sectors) {
                        // Only the bytes of the sectors read are the file's.
                        const uint64_t held = got * sectorSize_ > skip ? std::min(got * sectorSize_ - skip, piece) : 0;
                        std::memcpy(out, buffer_.data() + skip, static_cast<size_t>(held));
                        return static_cast<uint32_t>(copied + held);
                    }
                    std::memcpy(out, buffer_.data() + skip, static_cast<size_t>(piece));
                }
            }
            out += piece;
            offset += piece;
            copied += piece;
        }
        runFileStart = runFileEnd;
    }
    return static_cast<uint32_t>(copied);
}
