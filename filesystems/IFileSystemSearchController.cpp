#include "IFileSystemSearchController.h"

IFileSystemSearchController::~IFileSystemSearchController() {}
IQuickFileSystemSearchController::~IQuickFileSystemSearchController() {}
ICompleteFileSystemSearchController::~ICompleteFileSystemSearchController() {}
