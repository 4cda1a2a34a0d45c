#include "outside/device/CImageStorage.h"

#include <utility>

CImageStorage::CImageStorage(std::string path, uint32_t sectorSize, uint64_t offset, uint64_t length)
    : path_(std::move(path)), sectorSize_(sectorSize ? sectorSize : 512), offset_(offset), length_(length) {}

int CImageStorage::Open() {
    if (opened_) return 1;
    // Never waits on a FIFO put in the image's place since it was listed.
    if (!file_.Open(path_, platform::PlatformFile::Mode::ReadVolume)) return 0;
    long long size = file_.Size();
    if (size <= 0 || static_cast<uint64_t>(size) <= offset_) {
        file_.Close();
        return 0;
    }
    uint64_t available = static_cast<uint64_t>(size) - offset_;
    if (length_ == 0 || length_ > available) length_ = available;
    if (length_ < sectorSize_) {
        file_.Close();
        return 0;
    }
    opened_ = true;
    return 1;
}

int CImageStorage::Close() {
    file_.Close();
    opened_ = false;
    return 1;
}

uint64_t CImageStorage::GetSectorCount() {
    if (!opened_ && !Open()) return 0;
    return length_ / sectorSize_;
}

int CImageStorage::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    if (!opened_ || !buffer) return 0;
    uint64_t sectors = length_ / sectorSize_;
    if (first > sectors || count > sectors - first) return 0;
    if (count == 0) return 1;
    return file_.ReadAt(offset_ + first * sectorSize_, buffer, static_cast<size_t>(count * sectorSize_)) ? 1 : 0;
}
