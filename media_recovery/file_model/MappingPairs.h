#pragma once
#include <cstddef>
#include <cstdint>

#include "media_recovery/file_model/CDataRunList.h"

// The packed form of a run list: the mapping-pairs byte string (one header byte per run, L length
// bytes, O offset bytes; offsets relative to the previous real run; O = 0 for a hole; a zero header
// ends it). The Ext2/3/4 properties keep every file's runs this way.
// A short string (a file of a run or two) is kept inside the record, saving an allocation.
struct PackedDataRuns {
    uint8_t* pairs = nullptr;    // owned (new[]) or the record's own bytes, terminator included
    size_t size = 0;             // bytes of pairs, terminator included
    uint16_t residentValue = 0;  // non-zero only when packed from a resident list
    uint8_t local[14];           // pairs of up to this many bytes (a run or two)

    PackedDataRuns() = default;
    ~PackedDataRuns() { Clear(); }
    PackedDataRuns(const PackedDataRuns&) = delete;
    PackedDataRuns& operator=(const PackedDataRuns&) = delete;

    // Back to no pairs.
    void Clear() {
        if (pairs != local) delete[] pairs;
        pairs = nullptr;
        size = 0;
        residentValue = 0;
    }
};

// Bytes needed for v as a signed little-endian field (1 to 8).
int MappingFieldSize(int64_t v);

// Null for a null or empty list; moves the list's cursor. *size (when given) receives the length
// with the terminator.
uint8_t* EncodeMappingPairs(IDataRunList* list, size_t* size = nullptr);
// Appends the runs of pairs[0..size) to list without merging; stops at the terminator, at a header
// whose fields would pass the end, or at a nibble above 8. Always 1.
int DecodeMappingPairs(CDataRunList* list, const uint8_t* pairs, int size);

// Null for a null or empty list. The list is not released.
PackedDataRuns* PackDataRuns(IDataRunList* list);
// The same into a record of the caller's (cleared first); false, leaving it cleared, for a null or
// empty list or when memory runs out.
bool PackDataRunsInto(IDataRunList* list, PackedDataRuns* packed);
// A new list of the caller's: a resident list of the first run when the record has a resident
// value (null when the pairs hold none), otherwise a non-resident list of every run. Null without pairs.
IDataRunList* UnpackDataRuns(const PackedDataRuns* packed);
