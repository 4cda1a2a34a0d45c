#include "filesystems/frame/IFileSystemSearchController.h"

IFileSystemSearchController::~IFileSystemSearchController() {}
IQuickFileSystemSearchController::~IQuickFileSystemSearchController() {}
ICompleteFileSystemSearchController::~ICompleteFileSystemSearchController() {}
