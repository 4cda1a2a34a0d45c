#include "platform/PlatformFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace platform {

PlatformFile::~PlatformFile() { Close(); }

PlatformFile::PlatformFile(PlatformFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool PlatformFile::Open(const std::string& path, Mode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW; break;
        case Mode::CreateAlways: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case Mode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW; break;
        case Mode::OpenAlways: flags |= O_WRONLY | O_CREAT; break;
        case Mode::ReadPlainFile: flags |= O_RDONLY | O_NONBLOCK | O_NOFOLLOW; break;
        case Mode::ReadVolume: flags |= O_RDONLY | O_NONBLOCK; break;
    }
    fd_ = ::open(path.c_str(), flags, 0644);
    if (fd_ < 0) {
        lastError_ = errno;
        return false;
    }
    if (mode != Mode::ReadPlainFile && mode != Mode::ReadVolume) return true;
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        lastError_ = errno;
        Close();
        return false;
    }
    if (!S_ISREG(st.st_mode) && !(mode == Mode::ReadVolume && S_ISBLK(st.st_mode))) {
        lastError_ = kWrongKind;
        Close();
        return false;
    }
    // Reads of the file itself then wait for the disk as any read does.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return true;
}

bool PlatformFile::CreateUnnamed(const std::string& folder) {
    Close();
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd_ >= 0) return true;
    lastError_ = errno;
    return false;
}

bool PlatformFile::Name(const std::string& path, int* errorOut) {
    // Through the descriptor's entry under /proc; without /proc, by the descriptor itself, which
    // the system allows only to the privileged.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    int error = errno;
    if (error == ENOENT && ::linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (error == ENOENT) error = errno;
    lastError_ = error;
    if (errorOut) *errorOut = error;
    return false;
}

bool PlatformFile::Identity(uint64_t* device, uint64_t* inode) const {
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        lastError_ = errno;
        return false;
    }
    *device = static_cast<uint64_t>(st.st_dev);
    *inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

void PlatformFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool PlatformFile::Close(int* errorOut) {
    if (fd_ < 0) return true;
    int result = ::close(fd_);
    fd_ = -1;
    if (result == 0) return true;
    lastError_ = errno;
    if (errorOut) *errorOut = lastError_;
    return false;
}

long long PlatformFile::ReadSomeAt(uint64_t offset, void* buffer, size_t size) const {
    size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < size) {
        ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long long>(done);
}

uint64_t PlatformFile::NextDataAt(uint64_t offset) const {
    const off_t position = ::lseek(fd_, 0, SEEK_CUR);
    if (position < 0) return offset;
    const off_t data = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
    const int error = errno;
    ::lseek(fd_, position, SEEK_SET);
    if (data >= 0) return static_cast<uint64_t>(data);
    return error == ENXIO ? UINT64_MAX : offset;
}

bool PlatformFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
    return ReadSomeAt(offset, buffer, size) == static_cast<long long>(size);
}

bool PlatformFile::WriteAt(uint64_t offset, const void* buffer, size_t size) {
    size_t done = 0;
    const char* in = static_cast<const char*>(buffer);
    while (done < size) {
        ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PlatformFile::CopyFrom(const PlatformFile& from, uint64_t length) {
    loff_t at = 0;
    while (static_cast<uint64_t>(at) < length) {
        const ssize_t n = ::copy_file_range(from.fd_, &at, fd_, nullptr, static_cast<size_t>(length - at), 0);
        if (n > 0) continue;
        if (n == 0) {
            lastError_ = EIO;  // the file ended before length
            return false;
        }
        if (errno == EINTR) continue;
        // Files the system cannot copy between (other file systems, kinds it does not copy): read
        // and written here from where it stopped.
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            lastError_ = errno;
            return false;
        }
        constexpr size_t kPiece = size_t(1) << 20;
        std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(length - at, kPiece)));
        while (static_cast<uint64_t>(at) < length) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(length - at, buffer.size()));
            const long long got = from.ReadSomeAt(static_cast<uint64_t>(at), buffer.data(), piece);
            if (got <= 0) {
                lastError_ = got < 0 ? from.LastError() : EIO;
                return false;
            }
            if (!Write(buffer.data(), static_cast<size_t>(got))) return false;
            at += got;
        }
    }
    return true;
}

long long PlatformFile::Read(void* buffer, size_t size) {
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) return n;
        if (errno != EINTR) {
            lastError_ = errno;
            return -1;
        }
    }
}

bool PlatformFile::Write(const void* buffer, size_t size) {
    size_t done = 0;
    const char* in = static_cast<const char*>(buffer);
    while (done < size) {
        ssize_t n = ::write(fd_, in + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PlatformFile::Write(const std::vector<std::pair<const char*, size_t>>& pieces) {
    std::vector<iovec> left;
    left.reserve(pieces.size());
    for (const auto& piece : pieces)
        if (piece.second) left.push_back(iovec{const_cast<char*>(piece.first), piece.second});
    for (size_t next = 0; next < left.size();) {
        const int count = static_cast<int>(std::min<size_t>(left.size() - next, IOV_MAX));
        const ssize_t n = ::writev(fd_, left.data() + next, count);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            lastError_ = n < 0 ? errno : EIO;
            return false;
        }
        // Past the pieces written whole, and into the one written in part.
        size_t done = static_cast<size_t>(n);
        while (next < left.size() && done >= left[next].iov_len) done -= left[next++].iov_len;
        if (done > 0) {
            left[next].iov_base = static_cast<char*>(left[next].iov_base) + done;
            left[next].iov_len -= done;
        }
    }
    return true;
}

bool PlatformFile::Seek(uint64_t offset) {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

long long PlatformFile::Size() const {
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        lastError_ = errno;
        return -1;
    }
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (ioctl(fd_, BLKGETSIZE64, &bytes) != 0) return -1;
        return static_cast<long long>(bytes);
    }
    return static_cast<long long>(st.st_size);
}

}  // namespace platform
