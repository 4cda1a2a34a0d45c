#include "sqlite_recovery/engine/CFileIOWin32.h"

#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

IFileIO::~IFileIO() {}

CFileIOWin32::~CFileIOWin32() { Close(); }

ResultCode CFileIOWin32::Open(const wchar_t* path, int mode) {
    Close();
    if (!path) return RK_FAIL(RK_E_FAIL);
    const std::string name = platform::WideToUtf8(path);
    using Mode = platform::PlatformFile::Mode;
    bool ok = false;
    switch (mode) {
        case 0: ok = file_.Open(name, Mode::Read); break;
        case 1:
        case 2: ok = file_.Open(name, Mode::ReadWrite); break;
        case 3:
            // Truncate or create, then keep it open for reading and writing.
            ok = file_.Open(name, Mode::CreateAlways);
            if (ok) ok = file_.Open(name, Mode::ReadWrite);
            break;
        case 4:
            ok = file_.Open(name, Mode::ReadWrite);
            if (!ok && platform::GetEntryKind(name) == platform::EntryKind::Missing) {
                platform::PlatformFile created;
                created.Open(name, Mode::CreateNew);
                ok = file_.Open(name, Mode::ReadWrite);
            }
            break;
        default: return RK_FAIL(RK_E_FAIL);
    }
    if (!ok) {
        file_.Close();
        return RK_FAIL(RK_E_FAIL);
    }
    position_ = 0;
    return RK_OK;
}

ResultCode CFileIOWin32::Close() {
    file_.Close();
    position_ = 0;
    return RK_OK;
}

long long CFileIOWin32::ReadAt(int64_t offset, void* buffer, unsigned length) {
    if (!file_.IsOpen() || offset < 0) return -1;
    return file_.ReadSomeAt(static_cast<uint64_t>(offset), buffer, length);
}

ResultCode CFileIOWin32::Read(void* buffer, unsigned length, unsigned* done) {
    if (done) *done = 0;
    if (!file_.IsOpen() || (!buffer && length)) return RK_FAIL(RK_E_FAIL);
    long long n = file_.ReadSomeAt(static_cast<uint64_t>(position_), buffer, length);
    if (n < 0) return RK_FAIL(RK_E_FAIL);
    position_ += n;
    if (done) *done = static_cast<unsigned>(n);
    return RK_OK;
}

ResultCode CFileIOWin32::Write(const void* buffer, unsigned length, unsigned* done) {
    if (done) *done = 0;
    if (!file_.IsOpen() || (!buffer && length)) return RK_FAIL(RK_E_FAIL);
    if (!file_.WriteAt(static_cast<uint64_t>(position_), buffer, length)) return RK_FAIL(RK_E_FAIL);
    position_ += length;
    if (done) *done = length;
    return RK_OK;
}

ResultCode CFileIOWin32::Seek(int64_t offset, int64_t* position) {
    if (!file_.IsOpen() || offset < 0) return RK_FAIL(RK_E_FAIL);
    position_ = offset;
    if (position) *position = position_;
    return RK_OK;
}

ResultCode CFileIOWin32::GetSize(int64_t* size) {
    if (!file_.IsOpen() || !size) return RK_FAIL(RK_E_FAIL);
    long long n = file_.Size();
    if (n < 0) return RK_FAIL(RK_E_FAIL);
    *size = n;
    return RK_OK;
}

void CFileIOWin32::Release() { delete this; }
