#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media_recovery/CBufferStorageDevice.h"
#include "media_recovery/ISectorLender.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "media_recovery/raw/ExtCarveMap.h"
#include "media_recovery/raw/RawAnalyserRegistry.h"
#include "media_recovery/raw/RawHit.h"

// Candidates whose size is still unknown, oldest first (owned by the scanner).
using PendingHits = std::deque<RawHit*>;

// The sector walk of signature carving: offers every sector of a chunk to the analysers that can
// match the byte each keys on (in list order, first match wins), queues candidates whose size is
// still unknown and sizes them from the read-ahead ring. Every finished candidate goes to the output
// with its size already capped and clipped to the device.
//
// A chunk is scanned where it lies in memory: a device that lends its sectors (the read-ahead
// cache) hands its buffer over, which the ring then keeps; any other device is read straight into
// a block of the ring's own.
class RawCarveScanner {
public:
    // Receives a finished candidate; answers whether a file was made of it.
    using Output = std::function<bool(RawHit& hit)>;
    // Queued candidates beyond this are sized at once.
    static constexpr size_t kMaxPending = 4096;

    RawCarveScanner() = default;
    ~RawCarveScanner();

    void SetOutput(Output output) { output_ = std::move(output); }

    // Refills the process-wide analyser list, prepares the ring and the dispatch table.
    bool BeginSearch(IStorageDevice* device, uint32_t chunkSectors);
    void ScanChunk(uint64_t first, uint64_t count, IProgress* sink);
    void EndSearch();

    // Replaces the analysers asked (not owned; tests).
    void UseAnalysers(const RawAnalyserList& list) { BuildDispatch(list); }

    CBufferStorageDevice& Ring() { return ring_; }
    size_t PendingCount() const { return pending_.size(); }
    // Analyser calls made so far (IsHeader), for tests and the bench.
    uint64_t HeaderTests() const { return headerTests_; }

    // The size a file may be given: capped at 128 MiB and clipped to the device's end; 0 rejects.
    static uint64_t ClipSize(uint64_t size, uint64_t startSector, uint64_t sectorCount, uint32_t sectorSize);
    // Cuts a sized candidate (and its extents) to the cap and the device, and says why when it cut.
    static void ClipToDevice(RawHit& hit, uint64_t sectorCount, uint32_t sectorSize);
    // The Ext volumes seen so far, whose files carving reads as their volume placed them.
    const ExtCarveVolumes& ExtVolumes() const { return ext_; }

    RawCarveScanner(const RawCarveScanner&) = delete;
    RawCarveScanner& operator=(const RawCarveScanner&) = delete;

private:
    void BuildDispatch(const RawAnalyserList& list);
    // Sets candidates_ to the analysers that may accept the sector; false when there are none.
    bool FindCandidates(const uint8_t* sector);
    // Prepares the ring for the device and the chunk length; false when it cannot be made.
    bool InitReadAhead();
    // Puts the chunk into the ring without a copy (the device's own memory when it lends it,
    // otherwise read straight into a block of the ring) and gives it for scanning. A chunk that
    // cannot be read takes its place as zeros, so that the ring's sector numbers stay true, and
    // gives null.
    std::shared_ptr<const uint8_t> PushReadAhead(uint64_t first, uint64_t count);
    void Finish(RawHit& hit);
    // Runs the candidate's size rule over the device as its Ext volume placed it, when it lies
    // in one the pass has seen; its extents are then where the volume put them.
    bool Size(RawHit& hit);
    // Clips the candidate's extents to the device; the bytes they still hold.
    static uint64_t ClipRuns(RawHit& hit, uint64_t sectorCount, uint32_t sectorSize);
    void SizeAndFinish(RawHit* hit);
    // Finishes a sized candidate (when its size rule succeeded with a size) and deletes it.
    void Conclude(RawHit* hit, bool sized);
    // Sizes the oldest candidate from what the ring holds, when the ring has grown enough since the
    // last try: false when the size rule wanted sectors the ring does not hold (hit unchanged).
    bool TrySizeFromRing(RawHit* hit, uint64_t ringEnd, bool& sized);
    void DrainPending(bool all);
    void ClearPending();

    Output output_;
    IStorageDevice* device_ = nullptr;
    uint32_t chunkSectors_ = 0;
    uint32_t sectorSize_ = 512;
    uint64_t sectorCount_ = 0;
    // Up to the last 20 chunks, from the oldest queued candidate on: queued candidates are sized
    // through it, each as soon as the ring holds what its size rule reads (tried whenever the
    // ring's reach past its start has doubled), at the latest once it holds half the ring past it.
    CBufferStorageDevice ring_;
    // The ring as the size rules see it: its reads, and the whole device's sector count.
    class RingView : public IStorageDevice {
    public:
        int Open() override { return 1; }
        int Close() override { return 1; }
        int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
            if (!ring) return 0;
            if (ringOnly && !ring->Holds(first, count)) {
                wantedMore = true;
                return 0;
            }
            return ring->ReadSectors(buffer, first, count);
        }
        uint32_t GetSectorSize() override { return ring ? ring->GetSectorSize() : 512; }
        uint64_t GetSectorCount() override { return sectors; }
        uint64_t GetReserved() override { return 0; }
        CBufferStorageDevice* ring = nullptr;
        uint64_t sectors = 0;
        bool ringOnly = false;    // a try: nothing read past what the ring holds
        bool wantedMore = false;  // the try asked for sectors the ring does not hold
    } view_;
    // The oldest candidate's last try from the ring, and how far the ring reached then.
    const RawHit* triedHit_ = nullptr;
    uint64_t triedEnd_ = 0;
    ISectorLender* lender_ = nullptr;  // the device, when it lends its sectors
    ExtCarveVolumes ext_;
    uint32_t magicEnd_ = 0;  // offsets in a sector below this may hold a superblock's magic
    PendingHits pending_;
    // The analysers, in list order, and which of them may accept a sector, by the bytes at the
    // few offsets they key on: for the j-th offset keys_[j] and byte value b, the words
    // masks_[(j * 256 + b) * words_ ...] have bit i set for each analyser i that may.
    std::vector<IRawFileAnalyser*> analysers_;
    std::vector<uint32_t> keys_;
    std::vector<uint32_t> keyLines_;  // the offsets of the cache lines that hold them
    std::vector<uint64_t> masks_;
    std::vector<uint64_t> candidates_;  // a sector's analysers; words_ words
    size_t words_ = 0;
    uint64_t headerTests_ = 0;
    uint64_t sinceDrain_ = 0;  // sectors scanned since the queue was last drained
    bool begun_ = false;
};
