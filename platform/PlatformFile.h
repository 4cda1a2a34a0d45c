#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// A file opened on a POSIX descriptor: the substitute of a file handle.
class PlatformFile {
public:
    enum class Mode {
        Read,            // existing file, read only
        ReadWrite,       // existing file
        CreateNew,       // fails when anything, a link included, has the name
        CreateAlways,    // created or truncated
        Append,          // created when missing, written at its end; a link is not followed
        OpenAlways,      // opened for writing, created when missing, never truncated
        // Read only, and only what is safe to read whole: never waits to open (a FIFO fails, it does
        // not block), and fails with kWrongKind for an entry of another kind, judged on the opened
        // descriptor so that nothing can be swapped in between.
        ReadPlainFile,   // a regular file; a final link is not followed
        ReadVolume,      // a regular file or a block device; links are followed
    };
    // LastError() of an open that found an entry of a kind its mode does not read.
    static constexpr int kWrongKind = -1;

    PlatformFile() = default;
    ~PlatformFile();
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;
    PlatformFile(PlatformFile&& other) noexcept;
    PlatformFile& operator=(PlatformFile&& other) noexcept;

    bool Open(const std::string& path, Mode mode);
    // A new file without a name in folder, open for writing: it vanishes when it is closed without
    // having been named. False (LastError) where the file system makes no such files.
    bool CreateUnnamed(const std::string& folder);
    // Gives a file made by CreateUnnamed the name path, never over anything that has it (errorOut
    // receives EEXIST then, a link at path included).
    bool Name(const std::string& path, int* errorOut);
    void Close();
    // Closes and tells whether the system reported an error (errorOut receives it): a write the
    // system held back can fail only here.
    bool Close(int* errorOut);
    bool IsOpen() const { return fd_ >= 0; }

    // Whole-buffer transfers at an absolute offset; false unless every byte moved.
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const;
    bool WriteAt(uint64_t offset, const void* buffer, size_t size);
    // Reads up to size bytes; returns the count read, -1 on error.
    long long ReadSomeAt(uint64_t offset, void* buffer, size_t size) const;
    // Where the next bytes the file stores begin, at or after offset: what lies between is a hole
    // and reads as zeros. UINT64_MAX when nothing is stored after offset; offset itself where the
    // system cannot tell. The position of sequential transfers is kept.
    uint64_t NextDataAt(uint64_t offset) const;
    // Copies the first length bytes of from to this file's current position, by the system alone
    // where it can (no pass through this process's memory; a file system that shares blocks
    // copies none). False (LastError) when from holds fewer bytes or a transfer fails.
    bool CopyFrom(const PlatformFile& from, uint64_t length);
    // Sequential transfers from the current position.
    long long Read(void* buffer, size_t size);
    bool Write(const void* buffer, size_t size);
    // The pieces one after another, in as few system calls as the system allows.
    bool Write(const std::vector<std::pair<const char*, size_t>>& pieces);
    bool Seek(uint64_t offset);
    // Size in bytes; for a block device its capacity. -1 on error.
    long long Size() const;
    int LastError() const { return lastError_; }
    // The file's identity (device and inode numbers); false when it cannot be read.
    bool Identity(uint64_t* device, uint64_t* inode) const;

private:
    int fd_ = -1;
    mutable int lastError_ = 0;
};

}  // namespace platform
