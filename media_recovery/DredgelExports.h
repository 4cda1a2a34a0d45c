#pragma once
#include "media_recovery/IArchiveDataRecovery.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "platform/Export.h"

// What a caller of libDredgel.so looks up by name.
using DredgelAnalyzer = IRecoveryAnalyzer<IDataContainer<_ARCHIVE_INFOMATION>, IVirtualDevice>;
// A new media analyser (its analyser part); null when it cannot be allocated.
using DredgelCreateObjectFn = ICommon* (*)();
// The per-item recovery object of a found item, owned by the caller, who releases it before the
// analyser; null for a null argument, another analyser or an item no controller of it made.
using GetDredgelObjFn = IArchiveDataRecovery* (*)(DredgelAnalyzer* analyser, const _ARCHIVE_INFOMATION* item);

RK_EXPORT ICommon* CreateObject();
RK_EXPORT IArchiveDataRecovery* GetDredgelObj(DredgelAnalyzer* analyser, const _ARCHIVE_INFOMATION* item);
