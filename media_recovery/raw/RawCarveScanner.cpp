#include "media_recovery/raw/RawCarveScanner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "media_recovery/raw/CRAWFileNode.h"
#include "media_recovery/raw/RawFileTypes.h"
#include "media_recovery/raw/RawReaders.h"

namespace {

constexpr size_t kNoCandidate = ~size_t(0);

bool FirstWordZero(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v == 0;
}

}  // namespace

RawCarveScanner::~RawCarveScanner() { ClearPending(); }

uint64_t RawCarveScanner::ClipSize(uint64_t size, uint64_t startSector, uint64_t sectorCount, uint32_t sectorSize) {
    if (size > kRawMaxFileSize) size = kRawMaxFileSize;
    if (startSector >= sectorCount) return 0;
    uint64_t left = sectorCount - startSector;
    if (left <= kRawMaxFileSize / sectorSize) size = std::min<uint64_t>(size, left * sectorSize);
    return size;
}

void RawCarveScanner::BuildDispatch(const RawAnalyserList& list) {
    analysers_.assign(list.begin(), list.end());
    words_ = (analysers_.size() + 63) / 64;
    keys_.clear();
    std::vector<size_t> keyOf(analysers_.size());
    std::vector<LeadByteSet> sets(analysers_.size());
    for (size_t i = 0; i < analysers_.size(); ++i) {
        analysers_[i]->GetLeadBytes(sets[i]);
        uint32_t offset = analysers_[i]->GetLeadOffset();
        if (offset >= 512) {  // beyond what every sector has: keyed on nothing
            offset = 0;
            sets[i].set();
        }
        auto at = std::find(keys_.begin(), keys_.end(), offset);
        keyOf[i] = static_cast<size_t>(at - keys_.begin());
        if (at == keys_.end()) keys_.push_back(offset);
    }
    keyLines_.clear();
    for (uint32_t key : keys_) {
        uint32_t line = key / 64 * 64;
        if (std::find(keyLines_.begin(), keyLines_.end(), line) == keyLines_.end()) keyLines_.push_back(line);
    }
    masks_.assign(keys_.size() * 256 * words_, 0);
    for (size_t i = 0; i < analysers_.size(); ++i)
        for (int b = 0; b < 256; ++b)
            if (sets[i].test(b)) masks_[(keyOf[i] * 256 + b) * words_ + i / 64] |= uint64_t(1) << (i % 64);
    candidates_.assign(words_, 0);
    bool any = false;
    for (uint64_t word : masks_) any = any || word != 0;
    if (!any) analysers_.clear();  // nothing can match: nothing is scanned
}

bool RawCarveScanner::FindCandidates(const uint8_t* sector) {
    uint64_t any = 0;
    for (size_t w = 0; w < words_; ++w) {
        uint64_t word = 0;
        for (size_t j = 0; j < keys_.size(); ++j) word |= masks_[(j * 256 + sector[keys_[j]]) * words_ + w];
        candidates_[w] = word;
        any |= word;
    }
    return any != 0;
}

bool RawCarveScanner::BeginSearch(IStorageDevice* device, uint32_t chunkSectors) {
    ClearPending();
    RawAnalyserList& list = GetRawAnalyserList();
    if (!list.empty()) ClearRawAnalyserList(list);
    for (int id : GetSearchTypeOrder()) CreateRawAnalyser(list, id);
    device_ = device;
    chunkSectors_ = chunkSectors;
    uint32_t ss = device ? device->GetSectorSize() : 512;
    sectorSize_ = ss ? ss : 512;
    sectorCount_ = device ? device->GetSectorCount() : 0;
    headerTests_ = 0;
    sinceDrain_ = 0;
    ext_.Clear();
    magicEnd_ = ExtCarveVolumes::kMagicOffset + (sectorSize_ >= 2048 ? 1025 : 1);
    ResetNameCounters();
    BuildDispatch(list);
    begun_ = false;
    lender_ = dynamic_cast<ISectorLender*>(device);
    if (!InitReadAhead()) return false;
    begun_ = true;
    return true;
}

bool RawCarveScanner::InitReadAhead() {
    view_.ring = &ring_;
    view_.sectors = sectorCount_;
    return device_ && chunkSectors_ != 0 && ring_.Prepare(device_, chunkSectors_);
}

std::shared_ptr<const uint8_t> RawCarveScanner::PushReadAhead(uint64_t first, uint64_t count) {
    std::shared_ptr<const uint8_t> chunk = lender_ ? lender_->LendSectors(first, count) : nullptr;
    if (chunk) ring_.PushShared(first, chunk, count);
    else if (device_) chunk = ring_.ReadBlock(first, count);
    if (!chunk) ring_.PushZeros(first, count);
    return chunk;
}

namespace {
std::string Bytes(uint64_t n) { return std::to_string(n) + " bytes"; }
}  // namespace

uint64_t RawCarveScanner::ClipRuns(RawHit& hit, uint64_t sectorCount, uint32_t sectorSize) {
    uint64_t held = 0;
    for (size_t i = 0; i < hit.runs.size(); ++i) {
        auto& run = hit.runs[i];
        const uint64_t left = run.first < sectorCount ? sectorCount - run.first : 0;
        if (run.second > left) {
            run.second = left;
            hit.runs.resize(run.second ? i + 1 : i);
            return held + left * sectorSize;
        }
        held += run.second * sectorSize;
    }
    return UINT64_MAX;
}

void RawCarveScanner::Finish(RawHit& hit) {
    if (hit.fileTypeId >= 2000) return;
    // A size the header gave: the extents its volume gave it.
    if (hit.runs.empty() && hit.size != 0) {
        if (const ExtCarveVolume* volume = ext_.Containing(hit.startSector, sectorSize_)) {
            ExtCarvedFileView placed(&view_, *volume, hit.startSector);
            if (placed.Map()) hit.runs = placed.Runs(std::min(hit.size, kRawMaxFileSize));
        }
    }
    ClipToDevice(hit, sectorCount_, sectorSize_);
    if (hit.size == 0) return;
    if (output_) output_(hit);
}

void RawCarveScanner::ClipToDevice(RawHit& hit, uint64_t sectorCount, uint32_t sectorSize) {
    const uint64_t found = hit.size;
    if (hit.runs.empty()) {
        hit.size = ClipSize(hit.size, hit.startSector, sectorCount, sectorSize);
    } else {
        hit.size = std::min({hit.size, kRawMaxFileSize, ClipRuns(hit, sectorCount, sectorSize)});
        if (hit.size == 0) hit.runs.clear();
    }
    // What is written of a file cut here is said: the device's end or the cap came first. A size
    // of the cap itself (or one byte more: a footer not found) is a guess of a format that does
    // not tell its end, not a length the file gave.
    const bool given = found != kRawMaxFileSize && found != kRawMaxFileSize + 1;
    if (hit.size != 0 && hit.size < found && hit.partReason.empty() && given)
        hit.partReason = hit.size == kRawMaxFileSize
                             ? "it is " + Bytes(found) + " long, more than the " + Bytes(kRawMaxFileSize) +
                                   " a carved file may have"
                             : "the device ends " + Bytes(hit.size) + " into it (it is " + Bytes(found) + " long)";
}

bool RawCarveScanner::Size(RawHit& hit) {
    if (!hit.analyser) return false;
    const ExtCarveVolume* volume = ext_.Containing(hit.startSector, sectorSize_);
    if (!volume) return hit.analyser->ComputeSize(hit, &view_);
    // Only a try from the ring asks too early; any other failed read is a sector that cannot be read.
    ExtCarvedFileView placed(&view_, *volume, hit.startSector, view_.ringOnly ? &view_.wantedMore : nullptr);
    const bool sized = hit.analyser->ComputeSize(hit, &placed);
    hit.runs.clear();
    if (sized && placed.Map()) hit.runs = placed.Runs(std::min(hit.size, kRawMaxFileSize));
    return sized;
}

void RawCarveScanner::SizeAndFinish(RawHit* hit) { Conclude(hit, Size(*hit)); }

void RawCarveScanner::Conclude(RawHit* hit, bool sized) {
    // Only this candidate is dropped when its size cannot be found.
    if (sized && hit->size != 0) Finish(*hit);
    delete hit;
}

bool RawCarveScanner::TrySizeFromRing(RawHit* hit, uint64_t ringEnd, bool& sized) {
    if (!hit->analyser || hit->startSector < ring_.FirstHeldSector() || hit->startSector >= ringEnd) return false;
    const uint64_t reach = ringEnd - hit->startSector;
    if (triedHit_ == hit && triedEnd_ > hit->startSector && reach < 2 * (triedEnd_ - hit->startSector)) return false;
    triedHit_ = hit;
    triedEnd_ = ringEnd;
    RawHit trial = *hit;
    view_.ringOnly = true;
    view_.wantedMore = false;
    sized = Size(trial);
    view_.ringOnly = false;
    if (view_.wantedMore) return false;
    *hit = std::move(trial);
    return true;
}

void RawCarveScanner::DrainPending(bool all) {
    // The oldest candidate is sized as soon as the ring holds what its size rule reads, and at the
    // latest once the ring holds half its length of data behind it, so that files up to 40 MiB
    // (with 4 MiB chunks) are sized from memory. Candidates finish in the order they were found.
    uint64_t end = ring_.FirstHeldSector() + ring_.HeldSectors();
    uint64_t margin = ring_.Capacity() / 2;
    while (!pending_.empty()) {
        RawHit* hit = pending_.front();
        bool sized = false;
        if (all || (hit->startSector < end && end - hit->startSector >= margin)) {
            pending_.pop_front();
            SizeAndFinish(hit);
        } else if (TrySizeFromRing(hit, end, sized)) {
            pending_.pop_front();
            Conclude(hit, sized);
        } else {
            break;
        }
    }
}

void RawCarveScanner::ClearPending() {
    triedHit_ = nullptr;
    for (RawHit* h : pending_) delete h;
    pending_.clear();
}

void RawCarveScanner::ScanChunk(uint64_t first, uint64_t count, IProgress* sink) {
    if (!begun_ || analysers_.empty() || count == 0) return;
    count = std::min<uint64_t>(count, chunkSectors_);
    std::shared_ptr<const uint8_t> chunk = PushReadAhead(first, count);
    if (!chunk) return;
    const uint8_t* buffer = chunk.get();

    RawHit* hit = nullptr;
    bool stop = false;
    // Only the cache lines that hold the key bytes are read, a sector apart: too far apart for
    // the processor to fetch them ahead by itself, so the loop asks for them 16 sectors early.
    const uint64_t ahead = 16;
    for (uint64_t i = 0; i < count && !stop; ++i) {
        const uint8_t* sector = buffer + i * sectorSize_;
        if (i + ahead < count)
            for (uint32_t line : keyLines_) __builtin_prefetch(sector + ahead * sectorSize_ + line);
        // An Ext superblock tells where its volume's blocks lie (it may follow a zero word): at a
        // sector's start, or 1024 bytes into a sector that holds the volume's first 2 KiB or more.
        for (uint32_t at = ExtCarveVolumes::kMagicOffset; at < magicEnd_; at += 1024)
            if (sector[at + 1] == 0xEF && sector[at] == 0x53) ext_.Note(sector + at, first + i, at, sectorSize_);
        if (FirstWordZero(sector) || !FindCandidates(sector)) continue;
        // The candidates in list order: the lowest bit first.
        size_t w = 0;
        auto nextCandidate = [&]() -> size_t {
            while (w < words_ && candidates_[w] == 0) ++w;
            if (w == words_) return kNoCandidate;
            uint64_t& word = candidates_[w];
            size_t k = w * 64 + static_cast<size_t>(__builtin_ctzll(word));
            word &= word - 1;
            return k;
        };
        for (size_t k = nextCandidate(); k != kNoCandidate; k = nextCandidate()) {
            if (sink && !sink->ShouldContinue()) {
                stop = true;
                break;
            }
            if (!hit) {
                hit = new (std::nothrow) RawHit();
                if (!hit) return;
            }
            IRawFileAnalyser* analyser = analysers_[k];
            // A rejecting analyser must leave nothing behind for the next one.
            hit->size = 0;
            hit->fileTypeId = 0;
            ++headerTests_;
            if (!analyser->IsHeader(sector, *hit)) continue;
            hit->startSector = first + i;
            hit->analyser = analyser;
            hit->analyserTypeId = static_cast<uint32_t>(analyser->GetTypeId());
            if (hit->size == 0) {
                try {
                    pending_.push_back(hit);
                } catch (const std::bad_alloc&) {
                    SizeAndFinish(hit);  // no room to wait: size it now
                    hit = nullptr;
                    break;
                }
                hit = nullptr;
                if (pending_.size() > kMaxPending) {
                    RawHit* oldest = pending_.front();
                    pending_.pop_front();
                    SizeAndFinish(oldest);
                }
            } else {
                Finish(*hit);
                hit->Reset();
            }
            break;
        }
        if (hit) hit->Reset();
    }
    delete hit;
    // Queued candidates are sized once a chunk's length has come since the last time (or the
    // device ends), however the pass cuts the chunks: the files carving makes, their order and
    // their names do not depend on it.
    sinceDrain_ += count;
    if (sinceDrain_ < chunkSectors_ && first + count < sectorCount_) return;
    sinceDrain_ = 0;
    DrainPending(false);
    // Candidates are sized from their own start on, so the ring need not hold anything before the
    // oldest one still waiting: the chunks that gives back go to the next reads.
    ring_.ForgetBefore(pending_.empty() ? first : pending_.front()->startSector);
}

void RawCarveScanner::EndSearch() {
    if (begun_) DrainPending(true);
    ClearPending();
    ring_.Close();
    lender_ = nullptr;
    begun_ = false;
}
