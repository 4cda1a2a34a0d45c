#include "filesystems/IFileSystemSearchController.h"

IFileSystemSearchController::~IFileSystemSearchController() {}
IQuickFileSystemSearchController::~IQuickFileSystemSearchController() {}
ICompleteFileSystemSearchController::~ICompleteFileSystemSearchController() {}
