// Any byte string decodes within its bounds, and what it decodes to survives a round trip.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "media_recovery/file_model/CDataRunList.h"
#include "media_recovery/file_model/MappingPairs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    CDataRunList decoded;
    DecodeMappingPairs(&decoded, data, static_cast<int>(size));
    size_t encodedSize = 0;
    std::unique_ptr<uint8_t[]> encoded(EncodeMappingPairs(&decoded, &encodedSize));
    if (!encoded) {
        if (decoded.RunCount() != 0) std::abort();
        return 0;
    }
    CDataRunList again;
    DecodeMappingPairs(&again, encoded.get(), static_cast<int>(encodedSize));
    if (again.RunCount() != decoded.RunCount()) std::abort();
    DataRun* a = decoded.First();
    DataRun* b = again.First();
    for (; a && b; a = decoded.Next(), b = again.Next()) {
        bool sparse = a->start == kSparseRunStart;
        if (a->length != b->length || (sparse ? b->start != kSparseRunStart : a->start != b->start)) std::abort();
    }
    PackedDataRuns packed;
    packed.pairs = new uint8_t[size + 1];
    std::copy(data, data + size, packed.pairs);
    packed.pairs[size] = 0;
    packed.size = size + 1;
    packed.residentValue = size ? data[0] : 0;
    if (IDataRunList* list = UnpackDataRuns(&packed)) list->Release();
    return 0;
}
