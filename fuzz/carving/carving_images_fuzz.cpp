// Feeds the input as a device to the sector walk and to every picture analyser's size rule.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "testing/MemoryDevice.h"
#include "media_recovery/raw/RawAnalyserRegistry.h"
#include "media_recovery/raw/RawCarveScanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t sectorSize : {512u, 4096u}) {
        MemoryDevice device(bytes, sectorSize);
        if (device.GetSectorCount() == 0) continue;
        // Every size rule on the candidate at sector 0, whether its header test agrees or not.
        for (int c = 0; c < static_cast<int>(RawAnalyserClass::Count); ++c) {
            std::unique_ptr<IRawFileAnalyser> a(NewRawAnalyser(static_cast<RawAnalyserClass>(c)));
            if (!a) continue;
            RawHit hit;
            a->IsHeader(device.Bytes().data(), hit);
            hit.size = 0;
            a->ComputeSize(hit, &device);
        }
        RawCarveScanner scanner;
        scanner.SetOutput([&](RawHit& hit) {
            // What comes out lies on the device.
            if (hit.size == 0 || hit.startSector >= device.GetSectorCount() ||
                hit.size > (device.GetSectorCount() - hit.startSector) * sectorSize)
                __builtin_trap();
            return true;
        });
        scanner.BeginSearch(&device, 4);
        uint64_t n = device.GetSectorCount();
        for (uint64_t f = 0; f < n; f += 4) scanner.ScanChunk(f, std::min<uint64_t>(4, n - f), nullptr);
        scanner.EndSearch();
    }
    return 0;
}
