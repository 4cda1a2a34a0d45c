// Out-of-line destructors of the media library's interfaces: each type's information has one home,
// also in programs that only use the interfaces (the main job).
#include "IArchiveDataRecovery.h"
#include "IFileNode.h"
#include "IFileProperties.h"
#include "IRecoveryFilter.h"

IFileNode::~IFileNode() {}
IFilesystemNode::~IFilesystemNode() {}
IFileProperties::~IFileProperties() {}
IRecoveryFilter::~IRecoveryFilter() {}
IArchiveFileReader::~IArchiveFileReader() {}
IArchiveDataRecovery::~IArchiveDataRecovery() {}
