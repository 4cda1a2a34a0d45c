#include "media_recovery/file_model/MappingPairs.h"

#include <cstring>
#include <new>

int MappingFieldSize(int64_t v) {
    // The bits below the sign that differ from it, plus the sign bit, in whole bytes.
    const uint64_t magnitude = static_cast<uint64_t>(v ^ (v >> 63));
    const int bits = magnitude == 0 ? 0 : 64 - __builtin_clzll(magnitude);
    return (bits + 8) / 8;
}

namespace {
// Writes the mapping-pairs string of list, with its terminator, into out as far as capacity
// allows, and returns the bytes the whole string takes (0 for an empty list). Moves the cursor.
size_t EncodeBounded(IDataRunList* list, uint8_t* out, size_t capacity) {
    size_t used = 0;
    uint64_t base = 0;
    const auto put = [&](uint8_t byte) {
        if (used < capacity) out[used] = byte;
        ++used;
    };
    for (DataRun* run = list->First(); run && !list->IsEnd(); run = list->Next()) {
        bool sparse = run->start == kSparseRunStart;
        uint64_t delta = static_cast<uint64_t>(run->start) - base;  // wraps as the format expects
        int offsetBytes = sparse ? 0 : MappingFieldSize(static_cast<int64_t>(delta));
        // Lengths decode zero-extended: one that reads as negative needs all eight bytes.
        int lengthBytes = static_cast<int64_t>(run->length) < 0 ? 8 : MappingFieldSize(static_cast<int64_t>(run->length));
        if (!sparse) base = static_cast<uint64_t>(run->start);
        put(static_cast<uint8_t>((offsetBytes << 4) | (lengthBytes & 15)));
        for (int i = 0; i < lengthBytes; ++i) put(static_cast<uint8_t>(run->length >> (8 * i)));
        for (int i = 0; i < offsetBytes; ++i) put(static_cast<uint8_t>(delta >> (8 * i)));
    }
    if (used == 0) return 0;
    put(0);
    return used;
}

// The string of list in new[] bytes of the caller's; null for an empty list or when memory runs out.
uint8_t* EncodeToHeap(IDataRunList* list, size_t* size) {
    const size_t needed = EncodeBounded(list, nullptr, 0);
    if (needed == 0) return nullptr;
    uint8_t* pairs = new (std::nothrow) uint8_t[needed];
    if (!pairs) return nullptr;
    EncodeBounded(list, pairs, needed);
    *size = needed;
    return pairs;
}
}  // namespace

uint8_t* EncodeMappingPairs(IDataRunList* list, size_t* size) {
    if (size) *size = 0;
    if (!list) return nullptr;
    size_t used = 0;
    uint8_t* pairs = EncodeToHeap(list, &used);
    if (pairs && size) *size = used;
    return pairs;
}

int DecodeMappingPairs(CDataRunList* list, const uint8_t* pairs, int size) {
    if (!list || !pairs || size < 1) return 1;
    size_t end = static_cast<size_t>(size);
    size_t p = 0;
    uint64_t base = 0;
    while (p < end) {
        uint8_t header = pairs[p];
        if (header == 0) break;
        unsigned lengthBytes = header & 15;
        unsigned offsetBytes = header >> 4;
        // Fields wider than 8 bytes are outside the format; a run that passes the end is cut off.
        if (lengthBytes > 8 || offsetBytes > 8 || 1 + lengthBytes + offsetBytes > end - p) break;
        uint64_t length = 0;
        for (unsigned i = 0; i < lengthBytes; ++i) length |= static_cast<uint64_t>(pairs[p + 1 + i]) << (8 * i);
        uint64_t offset = 0;
        for (unsigned i = 0; i < offsetBytes; ++i)
            offset |= static_cast<uint64_t>(pairs[p + 1 + lengthBytes + i]) << (8 * i);
        if (offsetBytes > 0 && offsetBytes < 8 && (offset >> (8 * offsetBytes - 1)) & 1)
            offset |= ~uint64_t{0} << (8 * offsetBytes);  // sign-extend the field
        DataRun run;
        run.length = length;
        if (offsetBytes == 0) {
            run.start = kSparseRunStart;
        } else {
            base += offset;
            run.start = static_cast<int64_t>(base);
        }
        if (!list->PushRun(run)) break;
        p += 1 + lengthBytes + offsetBytes;
    }
    return 1;
}

bool PackDataRunsInto(IDataRunList* list, PackedDataRuns* packed) {
    packed->Clear();
    if (!list) return false;
    // A run or two fit the record itself: one pass. A longer string is measured there first.
    size_t size = EncodeBounded(list, packed->local, sizeof packed->local);
    if (size == 0) return false;
    uint8_t* pairs = packed->local;
    if (size > sizeof packed->local) {
        pairs = EncodeToHeap(list, &size);
        if (!pairs) return false;
    }
    packed->pairs = pairs;
    packed->size = size;
    if (list->GetKind() == RUN_LIST_RESIDENT) packed->residentValue = static_cast<uint16_t>(list->GetResidentValue());
    return true;
}

PackedDataRuns* PackDataRuns(IDataRunList* list) {
    if (!list) return nullptr;
    PackedDataRuns* packed = new (std::nothrow) PackedDataRuns;
    if (packed && !PackDataRunsInto(list, packed)) {
        delete packed;
        return nullptr;
    }
    return packed;
}

namespace {
// Length of the string up to and including its terminator, bounded by the recorded size.
int PairsLength(const PackedDataRuns* packed) {
    size_t p = 0;
    while (p < packed->size && packed->pairs[p] != 0) {
        uint8_t header = packed->pairs[p];
        p += 1 + (header & 15) + (header >> 4);
    }
    size_t length = p < packed->size ? p + 1 : packed->size;
    return length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
}
}  // namespace

IDataRunList* UnpackDataRuns(const PackedDataRuns* packed) {
    if (!packed || !packed->pairs) return nullptr;
    int size = PairsLength(packed);
    if (packed->residentValue == 0) {
        CNoneResidentNTFSDataRunList* list = new (std::nothrow) CNoneResidentNTFSDataRunList;
        if (list) DecodeMappingPairs(list, packed->pairs, size);
        return list;
    }
    CDataRunList decoded;
    DecodeMappingPairs(&decoded, packed->pairs, size);
    DataRun* first = decoded.First();
    if (!first) return nullptr;
    CResidentNTFSDataRunList* list = new (std::nothrow) CResidentNTFSDataRunList(packed->residentValue);
    if (list && !list->PushRun(*first)) {
        delete list;
        return nullptr;
    }
    return list;
}
