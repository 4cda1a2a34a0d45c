#include "media_recovery/CStorageDeviceWithCache.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "sqlite_recovery/framework/Logger.h"

CStorageDeviceWithCache::CStorageDeviceWithCache(IStorageDevice* inner)
    : inner_(inner), sectorSize_(inner && inner->GetSectorSize() ? inner->GetSectorSize() : 512) {
    SetChunkSectors(1000);
}

CStorageDeviceWithCache::~CStorageDeviceWithCache() { Stop(); }

int CStorageDeviceWithCache::SetChunkSectors(uint32_t sectors) {
    Stop();  // the queued chunks have the old length
    chunkSectors_ = sectors;
    windowIndex_ = -1;
    windowSectors_ = 0;
    window_.reset();
    ++windowSerial_;
    pool_.reset();  // buffers still lent out go back to the old pool
    return 1;
}

size_t CStorageDeviceWithCache::BuffersMade() { return pool_ ? pool_->Made() : 0; }

uint32_t CStorageDeviceWithCache::ReadAheadDepth() {
    boost::lock_guard<boost::mutex> guard(queueLock_);
    return depth_;
}

std::shared_ptr<ChunkBufferPool> CStorageDeviceWithCache::Pool() {
    if (!pool_ && inner_ && chunkSectors_) {
        // A device smaller than one chunk gets buffers of its own size.
        uint64_t sectors = std::min<uint64_t>(chunkSectors_, inner_->GetSectorCount());
        pool_ = ChunkBufferPool::Create(static_cast<size_t>(std::max<uint64_t>(sectors, 1)) * sectorSize_);
    }
    return pool_;
}

uint64_t CStorageDeviceWithCache::GetChunkCount() {
    if (!inner_ || chunkSectors_ == 0) return 0;
    uint64_t n = inner_->GetSectorCount();
    return n / chunkSectors_ + (n % chunkSectors_ ? 1 : 0);
}

uint64_t CStorageDeviceWithCache::ChunkLength(uint64_t index, uint64_t deviceSectors) const {
    uint64_t first = index * chunkSectors_;
    return first >= deviceSectors ? 0 : std::min<uint64_t>(chunkSectors_, deviceSectors - first);
}

bool CStorageDeviceWithCache::ReadChunk(ChunkBufferPool& pool, uint64_t index, uint64_t deviceSectors, Chunk& chunk) {
    chunk.index = index;
    chunk.sectors = std::min<uint64_t>(ChunkLength(index, deviceSectors), pool.BufferBytes() / sectorSize_);
    chunk.data = pool.Take();
    if (!chunk.data) return false;
    uint64_t first = index * chunkSectors_;
    uint8_t* data = chunk.data.get();
    // Only the chunk's own sectors are ever served, so the rest of a reused buffer stays as it is.
    if (chunk.sectors == 0 || inner_->ReadSectors(data, first, chunk.sectors)) return true;
    uint64_t failed = 0;
    for (uint64_t s = 0; s < chunk.sectors; ++s) {
        uint8_t* at = data + s * sectorSize_;
        if (!inner_->ReadSectors(at, first + s, 1)) {
            std::memset(at, 0, sectorSize_);
            ++failed;
        }
    }
    if (failed) {
        unreadable_ += failed;
        RK_LOG("[Dredgel] %llu unreadable sectors in %llu..%llu read as zeros", static_cast<unsigned long long>(failed),
               static_cast<unsigned long long>(first), static_cast<unsigned long long>(first + chunk.sectors - 1));
    }
    return true;
}

int CStorageDeviceWithCache::Start() {
    Stop();
    if (!inner_ || chunkSectors_ == 0) return 0;
    std::shared_ptr<ChunkBufferPool> pool = Pool();
    if (!pool) return 0;
    uint64_t deviceSectors = inner_->GetSectorCount();
    uint64_t chunks = GetChunkCount();
    uint64_t prefill = std::min<uint64_t>(kFirstDepth, chunks);
    {
        boost::lock_guard<boost::mutex> guard(queueLock_);
        depth_ = kFirstDepth;
        nextChunk_ = 0;
        readerReading_ = -1;
        readerDone_ = prefill >= chunks;
        running_ = readerDone_ ? 0 : 1;
    }
    if (!readerDone_) {
        reader_ = GetThreadRegistry().Start(
            [this, pool, chunks, deviceSectors] { return ReadAheadThread(pool, chunks, deviceSectors); });
        if (!reader_) {
            // No thread (the library is going away): LoadChunk reads what is not queued itself.
            boost::lock_guard<boost::mutex> guard(queueLock_);
            running_ = 0;
            readerDone_ = true;
        }
    }
    // The first chunks are queued before Start returns, read here beside the reader.
    boost::unique_lock<boost::mutex> lock(queueLock_);
    while (prefill > 0 && !(queue_.size() >= prefill && queue_[prefill - 1].index == prefill - 1)) {
        if (nextChunk_ < prefill) {
            uint64_t index = nextChunk_++;
            lock.unlock();
            Chunk chunk;
            bool read = false;
            try {
                read = ReadChunk(*pool, index, deviceSectors, chunk);
            } catch (const std::bad_alloc&) {
            }
            if (!read) {
                Stop();
                return 0;
            }
            lock.lock();
            try {
                Enqueue(std::move(chunk));
            } catch (const std::bad_alloc&) {
                lock.unlock();
                Stop();
                return 0;
            }
        } else if (readerReading_ >= 0 && static_cast<uint64_t>(readerReading_) < prefill) {
            dataReady_.wait(lock);
        } else {
            break;  // the reader gave up on one of them: LoadChunk reads it
        }
    }
    return 1;
}

void CStorageDeviceWithCache::Enqueue(Chunk chunk) {
    auto at = queue_.end();
    while (at != queue_.begin() && std::prev(at)->index > chunk.index) --at;
    queue_.insert(at, std::move(chunk));
}

uint64_t CStorageDeviceWithCache::ReadAheadThread(std::shared_ptr<ChunkBufferPool> pool, uint64_t chunkCount,
                                                  uint64_t deviceSectors) {
    boost::unique_lock<boost::mutex> lock(queueLock_);
    while (running_) {
        freeSlot_.wait(lock, [this] { return !running_ || queue_.size() < depth_; });
        if (!running_ || nextChunk_ >= chunkCount) break;
        uint64_t index = nextChunk_++;
        readerReading_ = static_cast<int64_t>(index);
        lock.unlock();
        Chunk chunk;
        bool read = false;
        try {
            read = ReadChunk(*pool, index, deviceSectors, chunk);
        } catch (const std::bad_alloc&) {
        }
        lock.lock();
        readerReading_ = -1;
        if (!read || !running_) break;  // an unqueued chunk is read by LoadChunk itself
        try {
            Enqueue(std::move(chunk));
        } catch (const std::bad_alloc&) {
            break;
        }
        dataReady_.notify_all();
    }
    running_ = 0;
    readerDone_ = true;
    dataReady_.notify_all();
    return 0;
}

void CStorageDeviceWithCache::TakeQueued(boost::unique_lock<boost::mutex>& lock, uint64_t index,
                                         uint64_t deviceSectors, Chunk& chunk) {
    const uint64_t chunkCount = GetChunkCount();
    bool waited = false;
    for (;;) {
        bool dropped = false;
        while (!queue_.empty() && queue_.front().index < index) {
            queue_.pop_front();
            dropped = true;
        }
        if (dropped) freeSlot_.notify_one();
        if (!queue_.empty() && queue_.front().index == index) {
            chunk = std::move(queue_.front());
            queue_.pop_front();
            freeSlot_.notify_one();
            return;
        }
        // The scan caught up with the reader: from now on the reader may go one chunk further.
        if (!waited && depth_ < capacity_) {
            ++depth_;
            freeSlot_.notify_one();
        }
        waited = true;
        if (readerReading_ != static_cast<int64_t>(index)) {
            // Nobody is reading it: the caller reads it, and the reader skips it when it is due.
            if (nextChunk_ == index) nextChunk_ = index + 1;
            return;
        }
        // The reader is at it. Rather than only wait, read the next chunk due, while the queue
        // has room for it beside the reader's.
        std::shared_ptr<ChunkBufferPool> pool = pool_;
        if (pool && nextChunk_ < chunkCount && queue_.size() + 2 <= depth_) {
            Chunk ahead;
            uint64_t next = nextChunk_++;
            lock.unlock();
            bool read = false;
            try {
                read = ReadChunk(*pool, next, deviceSectors, ahead);
            } catch (const std::bad_alloc&) {
            }
            lock.lock();
            if (read) {
                try {
                    Enqueue(std::move(ahead));
                } catch (const std::bad_alloc&) {
                }
            }
            continue;  // a chunk left unqueued is read by its own LoadChunk
        }
        dataReady_.wait(lock);
    }
}

int CStorageDeviceWithCache::LoadChunk(uint64_t index) {
    if (!inner_ || chunkSectors_ == 0) return 0;
    uint64_t deviceSectors = inner_->GetSectorCount();
    if (index >= GetChunkCount()) return 0;

    Chunk chunk;
    {
        boost::unique_lock<boost::mutex> lock(queueLock_);
        TakeQueued(lock, index, deviceSectors, chunk);
    }
    if (!chunk.data) {
        // Not queued (loaded twice, out of order, or its read-ahead failed): read it here.
        std::shared_ptr<ChunkBufferPool> pool = Pool();
        try {
            if (!pool || !ReadChunk(*pool, index, deviceSectors, chunk)) return 0;
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    // The old window goes back to the pool unless a searcher still holds it.
    window_ = std::move(chunk.data);
    windowIndex_ = static_cast<int64_t>(index);
    windowSectors_ = chunk.sectors;
    ++windowSerial_;
    return 1;
}

void CStorageDeviceWithCache::Stop() {
    {
        boost::lock_guard<boost::mutex> guard(queueLock_);
        running_ = 0;
        freeSlot_.notify_all();
        dataReady_.notify_all();
    }
    if (reader_) {
        GetThreadRegistry().Join(reader_);
        reader_ = 0;
    }
    boost::lock_guard<boost::mutex> guard(queueLock_);
    queue_.clear();
    readerDone_ = true;
}

std::shared_ptr<const uint8_t> CStorageDeviceWithCache::LendSectors(uint64_t first, uint64_t count) {
    if (windowIndex_ < 0 || !window_ || count == 0) return nullptr;
    uint64_t windowFirst = static_cast<uint64_t>(windowIndex_) * chunkSectors_;
    if (first < windowFirst || first - windowFirst > windowSectors_ || count > windowSectors_ - (first - windowFirst))
        return nullptr;
    return std::shared_ptr<const uint8_t>(window_, window_.get() + (first - windowFirst) * sectorSize_);
}

const uint8_t* CStorageDeviceWithCache::LendMarks(uint64_t first, uint64_t count, SectorMarker marker) {
    if (!marker) return nullptr;
    LentMarks& m = marks_;
    if (m.marker == marker && m.first == first && m.count == count && m.window == windowSerial_)
        return m.marks.data();
    const std::shared_ptr<const uint8_t> sectors = LendSectors(first, count);
    if (!sectors) return nullptr;
    m.marker = nullptr;
    try {
        m.marks.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    marker(sectors.get(), static_cast<size_t>(count), sectorSize_, m.marks.data());
    m.marker = marker;
    m.first = first;
    m.count = count;
    m.window = windowSerial_;
    return m.marks.data();
}

int CStorageDeviceWithCache::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    if (!inner_ || !buffer) return 0;
    if (windowIndex_ < 0 || !window_) return inner_->ReadSectors(buffer, first, count);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint64_t windowFirst = static_cast<uint64_t>(windowIndex_) * chunkSectors_;
    uint64_t windowEnd = windowFirst + windowSectors_;
    if (first < windowFirst) {
        uint64_t before = std::min(count, windowFirst - first);
        int ok = inner_->ReadSectors(out, first, before);
        if (ok && count > before) ok = inner_->ReadSectors(out + before * sectorSize_, first + before, count - before);
        return ok ? 1 : 0;
    }
    if (first >= windowEnd) return inner_->ReadSectors(buffer, first, count);
    uint64_t inside = std::min(count, windowEnd - first);
    std::memcpy(out, window_.get() + (first - windowFirst) * sectorSize_, static_cast<size_t>(inside * sectorSize_));
    if (count == inside) return 1;
    return inner_->ReadSectors(out + inside * sectorSize_, windowEnd, count - inside) ? 1 : 0;
}
