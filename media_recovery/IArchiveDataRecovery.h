#pragma once
#include <cstddef>
#include <cstdint>

#include "sqlite_recovery/framework/ICommon.h"
#include "sqlite_recovery/framework/ResultCode.h"

class IFileNode;
class IFileSystemSearchController;
class IProgress;
class IStorageDevice;

// Reads one found file's bytes through its extents.
class RK_INTERFACE IArchiveFileReader {
public:
    virtual ~IArchiveFileReader();
    // Bytes copied to buffer; 0 at or past the end, or on failure. Fewer when the extents end first
    // or the volume cannot give the next sector.
    virtual uint32_t Read(uint64_t offset, void* buffer, uint32_t length) = 0;
    // A new, independent reader over the same file.
    virtual IArchiveFileReader* Clone() = 0;
    virtual uint64_t GetSize() = 0;
    virtual void Release() = 0;
};

// Where a found file's data begins, for callers that must tell whether two finds are one file
// (a file system's entry and a carved hit at its first sector). Every reader OpenFile hands out
// is one, reached by a run-time cast, so that the reader's slots stay as they are.
class RK_INTERFACE IArchiveFileExtent {
public:
    virtual ~IArchiveFileExtent();
    // The volume the file is read from and the byte offset of its first data byte on it; false
    // when the file has no data on the volume.
    virtual bool GetFirstByte(IStorageDevice** volume, uint64_t* offset) = 0;
    // The index-th stretch of the file's data on that volume, holes left out: the byte offset of
    // its first byte and its length in bytes (the last one ends with the file); false past the last.
    virtual bool GetStretch(size_t index, uint64_t* offset, uint64_t* bytes) = 0;
    // The volume sector at which a read of this reader stopped short because the volume could not
    // give it (a bad sector, or one past the volume's end: *pastEnd); false while none has. A read
    // ends at such a sector: what follows it is never made up.
    virtual bool GetUnreadableSector(uint64_t* sector, bool* pastEnd) = 0;
};

// Writes found files out: opened on the searcher that found them, then OpenFile and RecoverTo per file.
class RK_INTERFACE IArchiveDataRecovery : public ICommon {
public:
    ~IArchiveDataRecovery() override;
    void Release() override = 0;
    virtual ResultCode Open(IFileSystemSearchController* searcher, IStorageDevice* device) = 0;
    // Makes node the current file; returns a reader of the caller's (null when it cannot be read).
    // A folder with extents opens too: its reader tells where its entries lie.
    virtual IArchiveFileReader* OpenFile(IFileNode* node) = 0;
    // Writes the current file to destination, which must not exist yet; when it cannot be created
    // a substitute "rename_file<ext>" (then "rename_file_0001<ext>", ...) is made in its folder.
    virtual ResultCode RecoverTo(const char* destination, IProgress* sink, int acceptNoData) = 0;
};
