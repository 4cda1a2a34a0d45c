#pragma once
#include <cstddef>
#include <cstdint>

#include "sqlite_recovery/framework/IStorageDevice.h"
#include "media_recovery/raw/RawHit.h"

// Size of the one window buffer that every size rule reads through: 129 sectors of up to 4096 bytes.
constexpr size_t kRawWindowBytes = 129 * 4096;
// Largest size a carved file may reach.
constexpr uint64_t kRawMaxFileSize = 0x8000000;

extern uint8_t g_rawWindow[kRawWindowBytes];
// Byte order of the TIFF-family structure being read: non-zero means big-endian.
extern int g_rawBigEndian;

// Context of one size computation: the bytes of a candidate, read window by window.
struct CandidateReader {
    CandidateReader(IStorageDevice* device, uint64_t startSector);

    IStorageDevice* device;
    uint64_t startSector;
    int64_t heldWindow = -1;   // index of the window in g_rawWindow, -1 for none
    uint64_t heldStart = 0;    // the held window's first byte, from the candidate's start
    uint32_t sectorSize = 512;
    uint32_t windowSectors = 0;  // sectors a window advances; 0 when the sector size cannot be served
    uint64_t windowBytes = 0;
    uint64_t heldBytes = 0;      // bytes of the held window that lie on the device
    uint64_t deviceBytes = 0;    // bytes from the candidate's start to the device's end
};

// The byte at offset from the candidate's start, with at least one further sector readable behind
// it (zeros past the device end); null on a read error or when offset lies beyond the device.
const uint8_t* ReadCandidateBytes(CandidateReader& reader, uint64_t offset);
// As above, also telling how many bytes from the pointer lie in this window and on the device.
const uint8_t* ReadCandidateBytes(CandidateReader& reader, uint64_t offset, uint64_t* available);
// length bytes (at most one sector) at offset, all on the device; null otherwise.
const uint8_t* ReadCandidateSpan(CandidateReader& reader, uint64_t offset, size_t length);

struct FooterPattern {
    uint8_t pattern[64] = {};
    uint32_t length = 0;
    uint64_t limit = 0;  // bytes; 0 means kRawMaxFileSize

    FooterPattern() = default;
    FooterPattern(const void* bytes, uint32_t len, uint64_t scanLimit = 0);
};

// Forward search for the footer (ASCII case ignored); size = its end, or limit + 1 when absent.
bool ScanForFooter(IStorageDevice* device, RawHit& hit, const FooterPattern& pattern);
// The atom walk of MP4 and 3GP candidates.
bool WalkAtoms(IStorageDevice* device, RawHit& hit);

uint16_t ReadOrderedU16(const uint8_t* p);
uint32_t ReadOrderedU32(const uint8_t* p);
