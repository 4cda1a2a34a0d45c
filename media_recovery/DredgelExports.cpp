// The two exports of libDredgel.so.
#include <new>

#include "media_recovery/CDredgel.h"
#include "media_recovery/DredgelExports.h"

RK_EXPORT ICommon* CreateObject() {
    CDredgel* analyser = new (std::nothrow) CDredgel;
    return analyser ? static_cast<IMediaAnalyzer*>(analyser) : nullptr;
}

RK_EXPORT IArchiveDataRecovery* GetDredgelObj(IMediaAnalyzer* analyser, const _ARCHIVE_INFOMATION* item) {
    if (!analyser || !item) return nullptr;
    CDredgel* dredgel = dynamic_cast<CDredgel*>(analyser);
    return dredgel ? dredgel->CreateItemRecovery(*item) : nullptr;
}
