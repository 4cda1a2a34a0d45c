#include "filesystems/exfat/ExFatSectorRecognizer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "filesystems/exfat/ExFatDirectoryEntry.h"
#include "filesystems/exfat/ExFatLayout.h"

using namespace exfat;

namespace {

constexpr uint32_t kMostSetEntries = kMaxSecondaryCount + 1;

bool IsFileType(uint8_t t) { return t == kTypeFile || t == kTypeFileDeleted; }
bool IsStreamType(uint8_t t) { return t == kTypeStream || t == kTypeStreamDeleted; }
bool IsNameType(uint8_t t) { return t == kTypeName || t == kTypeNameDeleted; }
bool IsSecondaryType(uint8_t t) { return IsStreamType(t) || IsNameType(t) || IsBenignSecondary(t); }

// A benign type that devices write, live or deleted.
bool IsWrittenBenign(uint8_t t) {
    switch (static_cast<uint8_t>(t | kTypeInUse)) {
        case kTypeGuid:
        case kTypePadding:
        case kTypeAccessControl:
        case kTypeVendorExtension:
        case kTypeVendorAllocation:
            return true;
        default:
            return false;
    }
}

// The entry types that the scan of a sector's first entry does not reject outright.
bool CanBeginSector(uint8_t t) {
    switch (t) {
        case kTypeLabel:
        case kTypeLabelDeleted:
        case kTypeBitmap:
        case kTypeUpcase:
        case kTypeFile:
        case kTypeFileDeleted:
        case kTypeStream:
        case kTypeStreamDeleted:
        case kTypeName:
        case kTypeNameDeleted:
            return true;
        default:
            return IsWrittenBenign(t);
    }
}

// A copy of count bytes from p that stops at end; the rest is zeros.
void CopyUpTo(uint8_t* out, const uint8_t* p, size_t count, const uint8_t* end) {
    const size_t available = p < end ? static_cast<size_t>(end - p) : 0;
    const size_t n = std::min(count, available);
    std::memcpy(out, p, n);
    std::memset(out + n, 0, count - n);
}

}  // namespace

const std::array<uint8_t, 256> ExFatSectorRecognizer::kSectorStart = [] {
    std::array<uint8_t, 256> kinds{};
    for (unsigned t = 0; t < 256; ++t) {
        const uint8_t type = static_cast<uint8_t>(t);
        if (IsWrittenBenign(type)) kinds[t] = kBenign;
        else if (CanBeginSector(type)) kinds[t] = kMayCount;
    }
    return kinds;
}();

const std::array<uint8_t, 256> ExFatSectorRecognizer::kBenignType = [] {
    std::array<uint8_t, 256> benign{};
    for (unsigned t = 0; t < 256; ++t) benign[t] = IsWrittenBenign(static_cast<uint8_t>(t)) ? 1 : 0;
    return benign;
}();

const std::array<ExFatSectorRecognizer::MustBeZero, 256> ExFatSectorRecognizer::kMustBeZero = [] {
    static_assert(kEntryBytes == kEntrySize, "the entry layout");
    // Bytes [from, to) of one 8-byte word.
    const auto bytes = [](size_t from, size_t to) {
        uint64_t mask = 0;
        for (size_t i = from; i < to; ++i) mask |= uint64_t{0xFF} << (8 * (i % 8));
        return MustBeZero{static_cast<uint8_t>(from / 8 * 8), mask};
    };
    std::array<MustBeZero, 256> zero;
    zero.fill(bytes(0, 1));  // the type byte: nonzero but for the end of a folder
    // Each a part of what its validator asks to be zero.
    zero[kTypeLabel] = zero[kTypeLabelDeleted] = bytes(kLabelReserved, kEntrySize);
    zero[kTypeBitmap] = zero[kTypeUpcase] = bytes(8, 16);
    zero[kTypeFile] = zero[kTypeFileDeleted] = bytes(kFileReserved2, kEntrySize);
    zero[kTypeStream] = zero[kTypeStreamDeleted] = bytes(kStreamReserved3, kStreamReserved3 + 4);
    zero[kTypeName] = zero[kTypeNameDeleted] = bytes(kNameFlags, kNameFlags + 1);
    return zero;
}();

void ExFatSectorRecognizer::SetVolumeParameters(uint64_t deviceSectors, uint32_t clusterShift, uint32_t sectorShift,
                                                uint32_t entriesPerSector) {
    deviceSectors_ = deviceSectors;
    clusterShift_ = clusterShift;
    sectorShift_ = sectorShift;
    entriesPerSector_ = entriesPerSector;
    sectorBytes_ = entriesPerSector * static_cast<uint32_t>(kEntrySize);
}

ExFatDirectoryInfo& ExFatSectorRecognizer::Run() {
    if (!run_) run_.reset(new ExFatDirectoryInfo);
    return *run_;
}

std::unique_ptr<ExFatDirectoryInfo> ExFatSectorRecognizer::TakeRun() {
    carry_.Clear();
    return std::move(run_);
}

void ExFatSectorRecognizer::DropRun() {
    carry_.Clear();
    if (run_ && (run_->firstSector != ExFatDirectoryInfo::kNoSector || run_->flags)) run_->Reset();
}

void ExFatSectorRecognizer::Clear() {
    heads_.clear();
    tails_.clear();
    links_.clear();
    run_.reset();
    carry_.Clear();
}

uint64_t ExFatSectorRecognizer::FindLinkedRun(uint64_t headKey) const {
    auto it = links_.find(headKey);
    return it == links_.end() ? kNone : it->second;
}

uint64_t ExFatSectorRecognizer::FindLinkingRun(uint64_t tailKey) const {
    for (const auto& link : links_)
        if (link.second == tailKey) return link.first;
    return kNone;
}

bool ExFatSectorRecognizer::ScanDirectorySector(uint64_t sector, const uint8_t* buffer, const uint8_t* end) {
    ExFatDirectoryInfo* run;
    try {
        run = &Run();
    } catch (const std::bad_alloc&) {
        return true;
    }
    int hits = 0;
    // Most sectors of a device begin with no entry at all: nothing more of them is looked at.
    const bool stop = !CanBeginSector(buffer[0]) || ScanEntries(sector, buffer, end, hits);
    if (hits == 0) {
        // Nothing here is an entry: the run ends before this sector.
        if (run->IsEmpty()) DropRun();
        return true;
    }
    if (run->firstSector == ExFatDirectoryInfo::kNoSector) {
        run->firstSector = sector;
        run->sectorCount = 1;
    } else {
        run->sectorCount = static_cast<uint32_t>(std::min<uint64_t>(sector - run->firstSector + 1, 0xFFFFFFFFu));
    }
    if ((run->flags & ExFatDirectoryInfo::kBeginsInsideSet) && run->sectorCount == 1) StitchToHead(sector, buffer, end);
    return stop || static_cast<uint64_t>(run->sectorCount) * sectorBytes_ == run->directoryBound;
}

bool ExFatSectorRecognizer::ScanEntries(uint64_t sector, const uint8_t* buffer, const uint8_t* end, int& hits) {
    ExFatDirectoryInfo& run = *run_;
    int labels = 0, bitmaps = 0, upcases = 0;
    for (uint32_t i = 0; i < entriesPerSector_; ++i) {
        const uint8_t* e = buffer + static_cast<size_t>(i) * kEntrySize;
        const bool first = i == 0;
        const uint8_t type = e[0];
        switch (type) {
            case kTypeLabel:
            case kTypeLabelDeleted:
                if (!IsValidLabelEntry(e) || (type == kTypeLabel && ++labels > 1)) return true;
                ++hits;
                run.SetVolumeLabel(e);
                break;
            case kTypeBitmap:
                if (!IsValidBitmapEntry(e, sectorShift_, clusterShift_, deviceSectors_) || ++bitmaps > 1) return true;
                ++hits;
                run.SetAllocationBitmap(e);
                break;
            case kTypeUpcase:
                if (!IsValidUpcaseEntry(e, sectorShift_, clusterShift_, deviceSectors_) || ++upcases > 1) return true;
                ++hits;
                run.SetUpcaseTable(e);
                break;
            case kTypeFile:
            case kTypeFileDeleted:
                if (!IsValidFileEntry(e)) {
                    if (!IsValidFileEntryLayout(e)) return true;
                    // Only a time is wrong: a set whose checksum holds is a file with the times it
                    // has; any other is passed over, and the entries after it still count.
                    const size_t setBytes = (e[kFileSecondaryCount] + 1u) * kEntrySize;
                    if (end < e || static_cast<size_t>(end - e) < setBytes ||
                        !EntrySetChecksumMatches(e, static_cast<uint32_t>(setBytes), LoadLE16(e + kFileSetChecksum))) {
                        carry_.Clear();
                        break;
                    }
                }
                ++hits;
                if (ContinueSetElsewhere(e, entriesPerSector_ - i, sector, end)) return true;
                BeginSet(carry_, e, sector);
                break;
            case kTypeStream:
            case kTypeStreamDeleted:
                if (!IsValidStream(e, carry_.stage == 1)) return true;
                ++hits;
                TakeStream(carry_, e, first);
                break;
            case kTypeName:
            case kTypeNameDeleted:
                if (!IsValidNameEntry(e)) return true;
                ++hits;
                if (TakeSecondary(carry_, e, first, true)) FinishInto(carry_);
                break;
            default:
                // Vendor entries stand in camera-written sets; a benign primary begins a set of its own.
                if (!IsWrittenBenign(type)) return true;
                if (IsBenignSecondary(type)) {
                    if (TakeSecondary(carry_, e, first, false)) FinishInto(carry_);
                } else {
                    carry_.Clear();
                }
                break;
        }
    }
    return false;
}

bool ExFatSectorRecognizer::IsValidStream(const uint8_t* e, bool setOpen) const {
    if (e[kStreamReserved1] != 0) return false;
    // A length past the device is taken in a set whose file entry came right before: the file is
    // read as far as its volume goes.
    return IsValidStreamEntry(e, sectorShift_, clusterShift_, deviceSectors_) || (setOpen && IsValidStreamLayout(e));
}

void ExFatSectorRecognizer::BeginSet(Carry& carry, const uint8_t* e, uint64_t sector) {
    carry.Clear();
    carry.record = ExFatEntryRecord();
    carry.record.inUse = (e[0] & kTypeInUse) ? 1 : 0;
    carry.record.attributes = LoadLE16(e + kFileAttributes);
    carry.record.createTimestamp = LoadLE32(e + kFileCreateTime);
    carry.record.modifyTimestamp = LoadLE32(e + kFileModifyTime);
    carry.record.accessTimestamp = LoadLE32(e + kFileAccessTime);
    carry.record.sector = sector;
    carry.remaining = e[kFileSecondaryCount];
    carry.stage = 1;
}

void ExFatSectorRecognizer::MarkBeginsInsideSet(bool first) {
    if (first && run_ && run_->IsEmpty()) run_->flags |= ExFatDirectoryInfo::kBeginsInsideSet;
}

void ExFatSectorRecognizer::TakeStream(Carry& carry, const uint8_t* e, bool first) {
    if (carry.stage != 1) {
        carry.Clear();
        MarkBeginsInsideSet(first);
        return;
    }
    carry.record.dataLength = LoadLE64(e + kStreamDataLength);
    carry.record.validDataLength = LoadLE64(e + kStreamValidDataLength);
    if (!IsValidStreamEntry(e, sectorShift_, clusterShift_, deviceSectors_))
        carry.record.changed |= ExFatEntryRecord::kLengthPastDevice;
    carry.record.firstCluster = LoadLE32(e + kStreamFirstCluster);
    carry.record.noFatChain = (e[kStreamFlags] & kFlagNoFatChain) ? 1 : 0;
    carry.nameLength = e[kStreamNameLength];
    --carry.remaining;
    carry.stage = 2;
}

bool ExFatSectorRecognizer::TakeSecondary(Carry& carry, const uint8_t* e, bool first, bool name) {
    // A vendor entry follows the name entries; a name follows the stream.
    const uint8_t needed = name ? 2 : 3;
    if (carry.stage < needed || carry.remaining == 0) {
        carry.Clear();
        MarkBeginsInsideSet(first);
        return false;
    }
    if (name) AppendExFatNamePiece(carry.record, e);
    if (carry.stage < 0xFF) ++carry.stage;
    return --carry.remaining == 0;
}

void ExFatSectorRecognizer::FinishInto(Carry& carry) {
    FinishExFatName(carry.record);
    Run().FinishSet(carry.record);
    carry.Clear();
}

bool ExFatSectorRecognizer::ContinueSetElsewhere(const uint8_t* e, uint32_t entriesLeft, uint64_t sector,
                                                 const uint8_t* end) {
    ExFatDirectoryInfo& run = *run_;
    const bool started = run.firstSector != ExFatDirectoryInfo::kNoSector;
    const uint64_t key = started ? run.firstSector : sector;
    const uint64_t runSectors = started ? sector - run.firstSector + 1 : 1;
    const uint32_t entries = e[kFileSecondaryCount] + 1u;
    if (entries <= entriesLeft) return false;
    const uint32_t setBytes = entries * static_cast<uint32_t>(kEntrySize);
    // The set goes on in the next sector when the run may go on and the bytes there complete it.
    if (runSectors != (run.directoryBound >> sectorShift_) && end >= e && static_cast<size_t>(end - e) >= setBytes &&
        EntrySetChecksumMatches(e, setBytes, LoadLE16(e + kFileSetChecksum)))
        return false;

    run.flags |= ExFatDirectoryInfo::kSetLeaves;
    uint8_t head[kMostSetEntries * kEntrySize];
    CopyUpTo(head, e, setBytes, end);
    int trials = kJoinTrialsPerSearch;
    for (auto tail = tails_.begin(); tail != tails_.end() && trials > 0; ++tail) {
        if (tail->first == key || !JoinSplitSet(sector, head, tail->second.data(), trials)) continue;
        links_[key] = tail->first;
        tails_.erase(tail);
        return true;
    }
    if (heads_.size() < kMostHeads || heads_.count(key)) {
        try {
            heads_[key] = Head{sector, std::vector<uint8_t>(head, head + setBytes)};
        } catch (const std::bad_alloc&) {
            // This half stays unjoined.
        }
    }
    return true;
}

void ExFatSectorRecognizer::StitchToHead(uint64_t sector, const uint8_t* buffer, const uint8_t* end) {
    uint8_t tail[kTailBytes];
    CopyUpTo(tail, buffer, kTailBytes, end);
    int trials = kJoinTrialsPerSearch;
    for (auto head = heads_.begin(); head != heads_.end() && trials > 0; ++head) {
        if (head->first == sector || !JoinSplitSet(head->second.sector, head->second.bytes.data(), tail, trials))
            continue;
        links_[head->first] = sector;
        heads_.erase(head);
        return;
    }
    if (tails_.size() >= kMostTails) return;
    try {
        tails_[run_->firstSector] = std::vector<uint8_t>(tail, tail + kTailBytes);
    } catch (const std::bad_alloc&) {
        // This half stays unjoined.
    }
}

bool ExFatSectorRecognizer::JoinSplitSet(uint64_t headSector, const uint8_t* head, const uint8_t* tail, int& trials) {
    const uint32_t secondaries = head[kFileSecondaryCount];
    if (secondaries < kMinSecondaryCount || secondaries > kMaxSecondaryCount) return false;
    const uint32_t entries = secondaries + 1;
    // The tail's leading secondary entries are the set's last ones: at least entries - k of them.
    uint32_t leading = 0;
    while (leading < kTailBytes / kEntrySize && IsSecondaryType(tail[leading * kEntrySize])) ++leading;
    if (leading == 0) return false;
    uint32_t fewestInHead = entries > leading ? entries - leading : 1;
    uint32_t mostInHead = secondaries;
    if (IsStreamType(tail[0])) mostInHead = 1;  // the stream is the set's second entry
    else fewestInHead = std::max(fewestInHead, 2u);
    const uint16_t expected = LoadLE16(head + kFileSetChecksum);
    for (uint32_t k = mostInHead; k >= fewestInHead && k >= 1; --k) {
        if (--trials < 0) return false;
        std::memcpy(join_.data(), head, k * kEntrySize);
        std::memcpy(join_.data() + k * kEntrySize, tail, (entries - k) * kEntrySize);
        if (EntrySetChecksumMatches(join_.data(), entries * static_cast<uint32_t>(kEntrySize), expected) &&
            WalkJoinedSet(headSector, entries))
            return true;
    }
    return false;
}

bool ExFatSectorRecognizer::WalkJoinedSet(uint64_t headSector, uint32_t entries) {
    joinCarry_.Clear();
    bool valid = true, complete = false;
    uint32_t count = 0;
    for (uint32_t j = 0; j < entries; ++j) {
        const uint8_t* e = join_.data() + j * kEntrySize;
        const uint8_t type = e[0];
        if (IsFileType(type) && IsValidFileEntryLayout(e)) {  // the checksum held: a time may be wrong
            BeginSet(joinCarry_, e, headSector);
            count = 1;
        } else if (IsStreamType(type) && IsValidStream(e, joinCarry_.stage == 1)) {
            TakeStream(joinCarry_, e, false);
            count = 2;
        } else if (IsNameType(type) && IsValidNameEntry(e)) {
            complete = TakeSecondary(joinCarry_, e, false, true);
            ++count;
        } else if (IsBenignSecondary(type)) {
            complete = TakeSecondary(joinCarry_, e, false, false);
            ++count;
        } else {
            valid = false;
        }
    }
    if (!valid || !complete || count != entries) return false;
    FinishInto(joinCarry_);
    return true;
}
