// Out-of-line destructors of the found-file model's interfaces: each type's information has one
// home, shared by the file-system readers, the carving searcher, the media core and the programs.
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "media_recovery/file_model/IFileNode.h"
#include "media_recovery/file_model/IFileProperties.h"

IFileNode::~IFileNode() {}
IFilesystemNode::~IFilesystemNode() {}
IFileProperties::~IFileProperties() {}
IDirecotryTreeBuilder::~IDirecotryTreeBuilder() {}
