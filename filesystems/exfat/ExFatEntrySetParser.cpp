#include "filesystems/exfat/ExFatEntrySetParser.h"

#include <new>

#include "filesystems/exfat/ExFatLayout.h"

using namespace exfat;

void ExFatEntrySetParser::Reset() {
    stage_ = 0;
    remaining_ = 0;
    open_ = ExFatEntryRecord();
    nameLength_ = 0;
    counter_ = 0;
}

void ExFatEntrySetParser::NoteRefused(uint64_t sector, const char* why) {
    try {
        ExFatRefusedSet refused;
        refused.sector = sector;
        refused.why = why;
        FinishExFatName(open_);
        refused.nameSoFar.assign(open_.name, open_.nameBytes);
        refused_.push_back(std::move(refused));
    } catch (const std::bad_alloc&) {
        // Not noted; the walk goes on.
    }
}

void ExFatEntrySetParser::Drop(const char* why) {
    if (stage_ > 0 && open_.inUse) NoteRefused(open_.sector, why);
    Reset();
}

bool ExFatEntrySetParser::SameUse(const uint8_t* entry) const {
    return ((entry[0] & kTypeInUse) != 0) == (open_.inUse != 0);
}

void ExFatEntrySetParser::FinishSet() {
    FinishExFatName(open_);
    try {
        finished_.push_back(open_);
    } catch (const std::bad_alloc&) {
        // The set is lost; the walk goes on.
    }
    Reset();
}

bool ExFatEntrySetParser::ParseDirectoryBuffer(const uint8_t* buffer, uint32_t byteCount, uint64_t firstSector) {
    const uint32_t count = byteCount / kEntrySize;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = buffer + static_cast<size_t>(i) * kEntrySize;
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
                } else {
                    Drop(type == 0 ? "the folder's entries end inside it"
                                   : "an entry of a kind not known here ends the folder inside it");
                    ++counter_;
                    return false;  // the end of the directory, or a critical entry not known here
                }
                break;
        }
        if (!taken) Drop("one of its entries is malformed");
        ++counter_;
    }
    return true;
}

bool ExFatEntrySetParser::OnFileEntry(const uint8_t* e, uint64_t sector) {
    Drop("another entry set begins before its last entry");
    // Times are not checked: a set whose only fault is a time (a zero access time, say) is a file,
    // kept with the times it has.
    if ((e[0] & (kTypeBenign | kTypeSecondary)) || !IsValidFileEntryLayout(e)) {
        if (e[0] & kTypeInUse) NoteRefused(sector, "its file entry is malformed (its count of entries or its reserved bytes)");
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
    return true;
}

bool ExFatEntrySetParser::OnStreamEntry(const uint8_t* e) {
    // Lengths are not judged here: one larger than the device is read as far as its volume goes,
    // and two that disagree are weighed when the file is made.
    if ((e[0] & kTypeBenign) || !(e[0] & kTypeSecondary) || e[kStreamReserved1] != 0 || !IsValidStreamLayout(e)) {
        if (stage_ == 1 && counter_ == 1) Drop("its stream extension entry is malformed");
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
    } else {
        Drop("its stream extension entry is not the one after its file entry");
    }
    return true;
}

bool ExFatEntrySetParser::OnNameEntry(const uint8_t* e) {
    if ((e[0] & kTypeBenign) || !(e[0] & kTypeSecondary) || !IsValidNameEntry(e)) {
        if (stage_ >= 2 && stage_ == counter_) Drop("a name entry of it is malformed or holds a character no name may have");
        return false;
    }
    if (SameUse(e) && stage_ >= 2 && stage_ == counter_ && remaining_ > 0) {
        ++stage_;
        --remaining_;
        AppendExFatNamePiece(open_, e);
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
        if (remaining_ == 0) FinishSet();
    } else {
        Drop(SameUse(e) ? "it has fewer entries than its file entry counts, or they stand out of order"
                        : "its entries disagree on whether it is in use");
    }
    return true;
}
