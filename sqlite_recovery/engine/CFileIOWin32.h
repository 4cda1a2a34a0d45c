#pragma once
#include "sqlite_recovery/engine/IFileIO.h"
#include "platform/PlatformFile.h"

// IFileIO over one operating-system file; closed when destroyed.
class CFileIOWin32 : public IFileIO {
public:
    CFileIOWin32() = default;
    ~CFileIOWin32() override;

    ResultCode Open(const wchar_t* path, int mode) override;
    ResultCode Close() override;
    ResultCode Read(void* buffer, unsigned length, unsigned* done) override;
    ResultCode Write(const void* buffer, unsigned length, unsigned* done) override;
    ResultCode Seek(int64_t offset, int64_t* position) override;
    ResultCode GetSize(int64_t* size) override;
    void Release() override;

    bool IsOpen() const { return file_.IsOpen(); }
    // Reads length bytes at an absolute offset without moving the position; the bytes read.
    long long ReadAt(int64_t offset, void* buffer, unsigned length);

private:
    platform::PlatformFile file_;
    int64_t position_ = 0;
};
