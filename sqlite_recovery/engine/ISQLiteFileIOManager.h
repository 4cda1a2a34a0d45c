#pragma once
#include "sqlite_recovery/engine/IFileIO.h"

// Hands out the views of one database: with a usable write-ahead log view 0 (every page
// version, flag 0) and view 1 (the last commit, flag 1); otherwise one view, the file itself.
class ISQLiteFileIOManager {
public:
    virtual ~ISQLiteFileIOManager();
    virtual ResultCode Open(const wchar_t* databasePath) = 0;
    virtual ResultCode Close() = 0;
    virtual void Release() = 0;
    virtual int GetViewCount() = 0;
    // Creates a new view, opened for reading, that the caller releases. Without a log the flag is
    // left as the caller set it.
    virtual ResultCode GetView(IFileIO** view, int index, int* viewFlag) = 0;
};
