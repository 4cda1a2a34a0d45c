// Out-of-line destructors of the media library's interfaces: each type's information has one home,
// also in programs that only use the interfaces (the main job).
#include "media_recovery/IArchiveDataRecovery.h"
#include "media_recovery/IRecoveryFilter.h"
#include "media_recovery/ISectorLender.h"

IRecoveryFilter::~IRecoveryFilter() {}
IArchiveFileReader::~IArchiveFileReader() {}
IArchiveDataRecovery::~IArchiveDataRecovery() {}
IArchiveFileExtent::~IArchiveFileExtent() {}
ISectorLender::~ISectorLender() {}
