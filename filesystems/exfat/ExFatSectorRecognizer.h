#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "filesystems/exfat/ExFatDirectoryInfo.h"
#include "filesystems/exfat/ExFatEntryRecord.h"
#include "sqlite_recovery/framework/ByteOrder.h"

// Decides, sector by sector over a whole device, whether a sector is made of believable exFAT
// directory entries, and gathers consecutive directory sectors into runs. A set that runs on into
// the next sector is finished there; a set cut between two runs (a folder whose clusters are not
// adjacent) is joined again by its checksum, whichever half comes first on the device.
class ExFatSectorRecognizer {
public:
    static constexpr uint32_t kTailBytes = 576;  // 18 entries: the most of a set that a run can begin with
    // Cut halves wait here until the end of the search; beyond these counts new ones are dropped.
    static constexpr size_t kMostHeads = 4096;
    static constexpr size_t kMostTails = 4096;
    // Checksum trials of one search for the other half of a cut set.
    static constexpr int kJoinTrialsPerSearch = 256;
    static constexpr uint64_t kNone = ~uint64_t{0};

    ExFatSectorRecognizer() = default;
    ExFatSectorRecognizer(const ExFatSectorRecognizer&) = delete;
    ExFatSectorRecognizer& operator=(const ExFatSectorRecognizer&) = delete;

    // The validators' measures: the device's sector count, log2 of the largest cluster to accept,
    // log2 of the sector size and the entries of one sector.
    void SetVolumeParameters(uint64_t deviceSectors, uint32_t clusterShift, uint32_t sectorShift,
                             uint32_t entriesPerSector);

    // The sector's bytes begin at buffer; the loaded memory after it (the following sectors of the
    // device) ends at end, and nothing at or past end is read. True when the current run ends with
    // this sector.
    bool ScanDirectorySector(uint64_t sector, const uint8_t* buffer, const uint8_t* end);

    // True when ScanDirectorySector would end the current run at this sector and keep nothing of
    // it: no set is open and the first entry that is not benign is of no type an entry counts by.
    // Looks only at type bytes, most often at the first alone.
    bool CannotHold(const uint8_t* buffer) const {
        if (carry_.stage != 0) return false;
        for (uint32_t i = 0; i < entriesPerSector_; ++i) {
            const uint8_t kind = kSectorStart[buffer[static_cast<size_t>(i) * kEntryBytes]];
            if (kind != kBenign) return kind == kNoEntry;
        }
        return true;
    }

    // No set is open and no run is begun: a sector that holds no entry then changes nothing.
    bool AtRest() const {
        return carry_.stage == 0 && (!run_ || (run_->firstSector == ExFatDirectoryInfo::kNoSector && run_->flags == 0));
    }
    // Whether ScanDirectorySector, called at rest, would find no entry in the sector and leave the
    // recognizer as it was: the first of its entries that is not benign is of no type an entry
    // counts by, or has a byte nonzero that its type must have zero, or none is. Otherwise that
    // entry may count.
    //
    // Most sectors of a device are other data, whose bytes are random to these tests: they are made
    // in three steps, the first two without a branch on the bytes. The first looks at the first type
    // byte alone: undecided (true) when it is benign or of a type an entry counts by, about one
    // random sector in 13. The second looks at the first four entries: undecided when all four are
    // benign, which only the few benign types that devices write make. The third reads on from the
    // fifth.
    static bool FirstTypeMayCount(const uint8_t* buffer) { return kSectorStart[buffer[0]] != kNoEntry; }
    // readOn: the four are benign, undecided (the answer is then false).
    bool FirstFourHoldNoEntry(const uint8_t* buffer, bool& readOn) const {
        // The first two entries lie in the line the look has read: both are weighed at once, without
        // a chain of loads. Only where both are benign, seldom, is the next line read.
        const bool benign0 = kBenignType[buffer[0]], benign1 = kBenignType[buffer[kEntryBytes]];
        if (__builtin_expect(benign0 & benign1, 0)) return FourHoldNoEntry(buffer, readOn);
        readOn = false;
        return CannotCount(buffer + size_t{benign0} * kEntryBytes);  // the first that is not benign
    }
    bool FourHoldNoEntry(const uint8_t* buffer, bool& readOn) const {
        // Entries 2 and 3 (the second line) are read when 0 and 1 are benign, otherwise 0 and 1
        // again in their place, which gives the same first entry that is not benign.
        const uint8_t* second = buffer + NextLineToRead(buffer);
        // One bit an entry, set where it is benign.
        const unsigned benign = kBenignType[buffer[0]] | kBenignType[buffer[kEntryBytes]] << 1 |
                                kBenignType[second[0]] << 2 | kBenignType[second[kEntryBytes]] << 3;
        // The first entry that is not benign, 4 when none is (the bit past the four).
        const unsigned first = static_cast<unsigned>(__builtin_ctz(~benign));
        const bool none = CannotCount(((first & 2u) ? second : buffer) + (first & 1u) * kEntryBytes);
        readOn = (first >> 2) != 0;
        return !readOn & none;
    }
    bool PastFourHoldNoEntry(const uint8_t* buffer) const {
        for (uint32_t i = 4; i < entriesPerSector_; ++i) {
            const uint8_t* entry = buffer + static_cast<size_t>(i) * kEntryBytes;
            if (!kBenignType[entry[0]]) return CannotCount(entry);
        }
        return true;
    }
    // How far past the sector's start the line lies that a walk of its entries reads next: the
    // second line (64) when its first two entries are benign, else none (0).
    static size_t NextLineToRead(const uint8_t* buffer) {
        return static_cast<size_t>(kBenignType[buffer[0]] & kBenignType[buffer[kEntryBytes]]) * 64;
    }

    // The run being gathered (null when none); TakeRun hands it over and forgets any set left open.
    ExFatDirectoryInfo* CurrentRun() const { return run_.get(); }
    std::unique_ptr<ExFatDirectoryInfo> TakeRun();
    // Ends the current run without handing it over (it holds nothing worth keeping).
    void DropRun();

    uint64_t FindLinkedRun(uint64_t headKey) const;
    uint64_t FindLinkingRun(uint64_t tailKey) const;
    void Clear();

    size_t HeadCount() const { return heads_.size(); }
    size_t TailCount() const { return tails_.size(); }

private:
    // What a type byte is to CannotHold: no entry that counts, a benign entry, or one that may count.
    enum : uint8_t { kNoEntry = 0, kBenign = 1, kMayCount = 2 };
    static constexpr size_t kEntryBytes = 32;
    // An 8-byte word of an entry of a type (its offset) and the bytes of it that must be zero for
    // such an entry to count; for a type no entry counts by, the type byte itself.
    struct MustBeZero {
        uint8_t word;
        uint64_t mask;
    };
    static const std::array<MustBeZero, 256> kMustBeZero;
    // An entry that is not benign cannot count: it has a byte nonzero that its type must have
    // zero, or is of no type an entry counts by.
    static bool CannotCount(const uint8_t* entry) {
        const MustBeZero& zero = kMustBeZero[entry[0]];
        return (LoadLE64(entry + zero.word) & zero.mask) != 0;
    }
    static const std::array<uint8_t, 256> kSectorStart;
    // The benign entry types a sector of a folder is taken to hold (1), of the 128 with the benign
    // bit: those devices write, a volume GUID, padding and the access-control table, and the vendor
    // entries of cameras, live or deleted. An entry of any other benign type ends the run, as an
    // unknown type does: half of all bytes have the bit, and data would pass for entries.
    static const std::array<uint8_t, 256> kBenignType;

    // An entry set being assembled.
    struct Carry {
        uint8_t stage = 0;  // 0 none, 1 file entry seen, 2 stream seen, then one more per secondary
        uint8_t remaining = 0;
        uint8_t nameLength = 0;
        ExFatEntryRecord record;  // meaningful from stage 1 on: BeginSet fills it afresh
        void Clear() { stage = remaining = nameLength = 0; }
    };
    struct Head {
        uint64_t sector;  // where the file entry lies
        std::vector<uint8_t> bytes;
    };

    ExFatDirectoryInfo& Run();
    bool ScanEntries(uint64_t sector, const uint8_t* buffer, const uint8_t* end, int& hits);
    static void BeginSet(Carry& carry, const uint8_t* entry, uint64_t sector);
    void TakeStream(Carry& carry, const uint8_t* entry, bool first);
    // Adds a secondary that follows the stream; true when it completes the set.
    bool TakeSecondary(Carry& carry, const uint8_t* entry, bool first, bool name);
    void MarkBeginsInsideSet(bool first);
    void FinishInto(Carry& carry);
    bool ContinueSetElsewhere(const uint8_t* entry, uint32_t entriesLeft, uint64_t sector, const uint8_t* end);
    void StitchToHead(uint64_t sector, const uint8_t* buffer, const uint8_t* end);
    bool JoinSplitSet(uint64_t headSector, const uint8_t* head, const uint8_t* tail, int& trials);
    bool WalkJoinedSet(uint64_t headSector, uint32_t entries);
    // setOpen: a file entry came right before, and a length past the device is taken.
    bool IsValidStream(const uint8_t* entry, bool setOpen) const;

    uint64_t deviceSectors_ = 0;
    uint32_t clusterShift_ = 9;
    uint32_t sectorShift_ = 9;
    uint32_t entriesPerSector_ = 16;
    uint32_t sectorBytes_ = 512;

    std::map<uint64_t, Head> heads_;                   // run key -> the start of a set that leaves it
    std::map<uint64_t, std::vector<uint8_t>> tails_;   // run key -> the run's first 576 bytes
    std::map<uint64_t, uint64_t> links_;               // head run key -> tail run key
    std::unique_ptr<ExFatDirectoryInfo> run_;
    Carry carry_;
    Carry joinCarry_;
    std::array<uint8_t, 19 * 32> join_{};
};
