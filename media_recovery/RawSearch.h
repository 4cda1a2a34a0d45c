#pragma once
#include "filesystems/frame/IFileSystemSearchController.h"

// The signature-carving searcher (code 0x22) of the whole-device scan; null when memory runs out.
ICompleteFileSystemSearchController* CreateRAWSearchController();
