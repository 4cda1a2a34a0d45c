#pragma once
#include <cstdint>

#include "sqlite_recovery/framework/ResultCode.h"

// The small file interface through which the engine reads a database: the plain file, or one of
// the views of a database with its write-ahead log.
class IFileIO {
public:
    virtual ~IFileIO();
    // Modes of the plain file: 0 read, 1 write, 2 read/write (all open existing), 3 read/write
    // create always, 4 read/write open always. The views accept mode 0 only.
    virtual ResultCode Open(const wchar_t* path, int mode) = 0;
    virtual ResultCode Close() = 0;
    virtual ResultCode Read(void* buffer, unsigned length, unsigned* done) = 0;
    virtual ResultCode Write(const void* buffer, unsigned length, unsigned* done) = 0;
    // Offset from the start of the file; position receives the new position (may be null).
    virtual ResultCode Seek(int64_t offset, int64_t* position) = 0;
    virtual ResultCode GetSize(int64_t* size) = 0;
    // Destroys the object.
    virtual void Release() = 0;
};
