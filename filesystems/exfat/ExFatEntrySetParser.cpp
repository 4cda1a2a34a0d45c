#include "filesystems/exfat/ExFatEntrySetParser.h"

#include <new>

#include "filesystems/exfat/ExFatLayout.h"
#include "filesystems/exfat/ExFatUpcaseTable.h"

using namespace exfat;

void ExFatEntrySetParser::Reset() {
    stage_ = 0;
    remaining_ = 0;
    open_ = ExFatEntryRecord();
    nameLength_ = 0;
    counter_ = 0;
    checksum_ = storedChecksum_ = nameHash_ = storedNameHash_ = nameUnits_ = 0;
    nameBroken_ = nameUnsure_ = false;
}

void ExFatEntrySetParser::NoteRefused(uint64_t sector, const char* why, bool nameAhead) {
    try {
        ExFatRefusedSet refused;
        refused.sector = sector;
        refused.why = why;
        FinishExFatName(open_);
        refused.nameSoFar.assign(open_.name, open_.nameBytes);
        if (refused.nameSoFar.empty() && nameAhead) refused.nameSoFar = NameAhead();
        refused_.push_back(std::move(refused));
    } catch (const std::bad_alloc&) {
        // Not noted; the walk goes on.
    }
}

std::string ExFatEntrySetParser::NameAhead() const {
    ExFatEntryRecord spelt;
    for (uint32_t j = at_; buffer_ && j < bufferEntries_ && j <= at_ + kMaxSecondaryCount; ++j) {
        const uint8_t* e = buffer_ + static_cast<size_t>(j) * kEntrySize;
        const uint8_t type = e[0] | kTypeInUse;
        if (type == kTypeName) AppendExFatNamePiece(spelt, e);
        else if (spelt.nameBytes || (type == kTypeFile && j != at_)) break;  // past the name, or another set
    }
    FinishExFatName(spelt);
    return std::string(spelt.name, spelt.nameBytes);
}

void ExFatEntrySetParser::Drop(const char* why, bool nameAhead) {
    if (stage_ > 0 && open_.inUse) NoteRefused(open_.sector, why, nameAhead);
    Reset();
}

namespace {

// The set checksum's step over n bytes: the sum turned right by one bit, plus the byte.
inline uint16_t AddBytes(uint16_t sum, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) sum = static_cast<uint16_t>(((sum >> 1) | (sum << 15)) + p[i]);
    return sum;
}

}  // namespace

void ExFatEntrySetParser::AddToChecksum(const uint8_t* e, bool fileEntry) {
    if (fileEntry) {
        checksum_ = AddBytes(checksum_, e, kFileSetChecksum);
        checksum_ = AddBytes(checksum_, e + kFileSetChecksum + 2, kEntrySize - kFileSetChecksum - 2);
    } else {
        checksum_ = AddBytes(checksum_, e, kEntrySize);
    }
}

void ExFatEntrySetParser::AddToNameHash(const uint8_t* e) {
    // The units the name is read as (each entry's up to its first NUL), as AppendExFatNamePiece
    // takes them.
    const uint16_t* capitals = upcase_ ? upcase_->Capitals() : nullptr;
    for (size_t i = 0; i < kNameUnitsPerEntry; ++i) {
        const uint16_t u = LoadLE16(e + kNameText + 2 * i);
        if (u == 0) break;
        ++nameUnits_;
        uint16_t capital;
        if (capitals) {
            capital = capitals[u];
        } else {
            nameUnsure_ |= u >= 0x80;
            capital = static_cast<uint16_t>(u >= 'a' && u <= 'z' ? u - 0x20 : u);
        }
        nameHash_ = ExFatNameHashStep(nameHash_, capital);
    }
}

bool ExFatEntrySetParser::SameUse(const uint8_t* entry) const {
    return ((entry[0] & kTypeInUse) != 0) == (open_.inUse != 0);
}

void ExFatEntrySetParser::FinishSet() {
    FinishExFatName(open_);
    if (checksum_ != storedChecksum_) open_.changed |= ExFatEntryRecord::kChecksumDiffers;
    // A name whose hash differs is not the one the set was written with; where a capital is not
    // known, a length that differs tells it.
    if (nameHash_ != storedNameHash_ && (!nameUnsure_ || nameUnits_ != nameLength_))
        open_.changed |= ExFatEntryRecord::kNameDiffers;
    try {
        finished_.push_back(open_);
    } catch (const std::bad_alloc&) {
        // The set is lost; the walk goes on.
    }
    Reset();
}

bool ExFatEntrySetParser::ParseDirectoryBuffer(const uint8_t* buffer, uint32_t byteCount, uint64_t firstSector) {
    const uint32_t count = byteCount / kEntrySize;
    buffer_ = buffer;
    bufferEntries_ = count;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = buffer + static_cast<size_t>(i) * kEntrySize;
        at_ = i;
        const uint8_t type = e[0];
        // An entry of a known type that is refused loses the set it stands in, not the folder.
        bool taken = true;
        switch (type) {
            case kTypeLabel:
            case kTypeLabelDeleted: taken = IsValidLabelEntry(e); break;
            case kTypeFile:
            case kTypeFileDeleted: {
                const uint64_t offset = static_cast<uint64_t>(i) * kEntrySize;
                taken = OnFileEntry(e, firstSector + (offset >> parameters_.sectorShift));
                break;
            }
            case kTypeStream:
            case kTypeStreamDeleted: taken = OnStreamEntry(e); break;
            case kTypeName:
            case kTypeNameDeleted: taken = OnNameEntry(e); break;
            case kTypeBitmap:
            case kTypeUpcase: break;
            default:
                if (IsBenignSecondary(type)) {
                    OnBenignSecondary(e);
                } else if (IsBenignPrimary(type)) {
                    Drop("another entry set begins before its last entry");  // a primary begins a set of its own
                } else if (type == kTypeEndOfDirectory) {
                    Drop("the folder's entries end inside it");
                    ++counter_;
                    buffer_ = nullptr;
                    return false;
                } else if (stage_ > 0) {
                    // A critical entry of no kind known here: a damaged type byte, which costs the
                    // set it stands in and no more.
                    Drop("an entry of a kind not known here stands among its entries", true);
                } else if (type & kTypeInUse) {
                    const uint64_t offset = static_cast<uint64_t>(i) * kEntrySize;
                    NoteRefused(firstSector + (offset >> parameters_.sectorShift),
                                "its first entry is of a kind not known here", true);
                }
                break;
        }
        if (!taken) Drop("one of its entries is malformed");
        ++counter_;
    }
    buffer_ = nullptr;
    return true;
}

bool ExFatEntrySetParser::OnFileEntry(const uint8_t* e, uint64_t sector) {
    Drop("another entry set begins before its last entry");
    // Times are not checked: a set whose only fault is a time (a zero access time, say) is a file,
    // kept with the times it has.
    if ((e[0] & (kTypeBenign | kTypeSecondary)) || !IsValidFileEntryLayout(e)) {
        if (e[0] & kTypeInUse)
            NoteRefused(sector, "its file entry is malformed (its count of entries or its reserved bytes)", true);
        return false;
    }
    stage_ = 1;
    open_.inUse = (e[0] & kTypeInUse) ? 1 : 0;
    open_.attributes = LoadLE16(e + kFileAttributes);
    open_.createTimestamp = LoadLE32(e + kFileCreateTime);
    open_.modifyTimestamp = LoadLE32(e + kFileModifyTime);
    open_.accessTimestamp = LoadLE32(e + kFileAccessTime);
    open_.sector = sector;
    remaining_ = e[kFileSecondaryCount];
    storedChecksum_ = LoadLE16(e + kFileSetChecksum);
    AddToChecksum(e, true);
    return true;
}

bool ExFatEntrySetParser::OnStreamEntry(const uint8_t* e) {
    // Lengths are not judged here: one larger than the device is read as far as its volume goes,
    // and two that disagree are weighed when the file is made.
    if ((e[0] & kTypeBenign) || !(e[0] & kTypeSecondary) || e[kStreamReserved1] != 0 || !IsValidStreamLayout(e)) {
        if (stage_ == 1 && counter_ == 1) Drop("its stream extension entry is malformed", true);
        return false;
    }
    if (stage_ == 1 && counter_ == 1 && SameUse(e)) {
        stage_ = 2;
        --remaining_;
        open_.dataLength = LoadLE64(e + kStreamDataLength);
        open_.validDataLength = LoadLE64(e + kStreamValidDataLength);
        open_.firstCluster = LoadLE32(e + kStreamFirstCluster);
        open_.noFatChain = (e[kStreamFlags] & kFlagNoFatChain) ? 1 : 0;
        nameLength_ = e[kStreamNameLength];
        storedNameHash_ = LoadLE16(e + kStreamNameHash);
        AddToChecksum(e, false);
    } else {
        Drop("its stream extension entry is not the one after its file entry");
    }
    return true;
}

bool ExFatEntrySetParser::OnNameEntry(const uint8_t* e) {
    if ((e[0] & kTypeBenign) || !(e[0] & kTypeSecondary) || !IsValidNameEntry(e)) {
        if (stage_ >= 2 && stage_ == counter_) Drop("a name entry of it is malformed or holds a character no name may have", true);
        return false;
    }
    if (SameUse(e) && stage_ >= 2 && stage_ == counter_ && remaining_ > 0) {
        ++stage_;
        --remaining_;
        AppendExFatNamePiece(open_, e);
        AddToChecksum(e, false);
        AddToNameHash(e);
        if (remaining_ == 0) FinishSet();
    } else {
        Drop(SameUse(e) ? "it has fewer entries than its file entry counts, or they stand out of order"
                        : "its entries disagree on whether it is in use");
    }
    return true;
}

bool ExFatEntrySetParser::OnBenignSecondary(const uint8_t* e) {
    if (SameUse(e) && stage_ >= 3 && stage_ == counter_ && remaining_ > 0) {
        ++stage_;
        --remaining_;
        AddToChecksum(e, false);
        if (remaining_ == 0) FinishSet();
    } else {
        Drop(SameUse(e) ? "it has fewer entries than its file entry counts, or they stand out of order"
                        : "its entries disagree on whether it is in use");
    }
    return true;
}
