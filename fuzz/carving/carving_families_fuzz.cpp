// Feeds the input as a device to the sector walk and to the size rules of the audio, video,
// document, archive, help, text, drawing and font analysers, on 512- and 4096-byte sectors.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "testing/MemoryDevice.h"
#include "media_recovery/raw/RawAnalyserRegistry.h"
#include "media_recovery/raw/RawCarveScanner.h"

namespace {

using C = RawAnalyserClass;
const C kFamilies[] = {C::F3DS, C::F3GP, C::ASF, C::AU, C::CAB, C::CHM, C::DBX, C::DWG, C::DXF, C::FH11, C::GZ,
                       C::HLP, C::HTM, C::LowDoc, C::LZH, C::MDB, C::MID, C::MNY, C::MOV, C::MP3, C::MP4, C::OLE,
                       C::ONE, C::PDF, C::PST, C::RAR, C::RIFF, C::RTF, C::SWF, C::TAR, C::TTF, C::UnicodeHTM,
                       C::WPD, C::ZIP};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t sectorSize : {512u, 4096u}) {
        MemoryDevice device(bytes, sectorSize);
        uint64_t n = device.GetSectorCount();
        if (n == 0) continue;
        // Every size rule on the candidate at sector 0 (twice: a rule answers the same when asked again).
        for (C c : kFamilies) {
            std::unique_ptr<IRawFileAnalyser> a(NewRawAnalyser(c));
            if (!a) __builtin_trap();
            RawHit hit;
            bool header = a->IsHeader(device.Bytes().data(), hit);
            if (header && hit.size != 0) continue;
            hit.size = 0;
            bool first = a->ComputeSize(hit, &device);
            uint64_t firstSize = hit.size;
            hit.size = 0;
            bool second = a->ComputeSize(hit, &device);
            if (header && (first != second || firstSize != hit.size)) __builtin_trap();
        }
        RawCarveScanner scanner;
        scanner.SetOutput([&](RawHit& hit) {
            if (hit.size == 0 || hit.startSector >= n || hit.size > (n - hit.startSector) * sectorSize)
                __builtin_trap();
            return true;
        });
        scanner.BeginSearch(&device, 2);
        for (uint64_t f = 0; f < n; f += 2) scanner.ScanChunk(f, std::min<uint64_t>(2, n - f), nullptr);
        scanner.EndSearch();
    }
    return 0;
}
