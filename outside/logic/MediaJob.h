#pragma once
#include <cstdio>
#include <string>

#include "DredgelExports.h"

class IVirtualDevice;

// The media part of the main job: loads libDredgel.so by name, runs it over the device's storage
// volumes and writes every accepted file under outFolder/files/, keeping the found names and the
// folders a file system gave them. Prints the counts per category. 0 on success.
int RunMediaJob(IVirtualDevice& device, const std::string& outFolder);

// The same with the two exports given (tests run the library's code in-process).
struct MediaLibraryCalls {
    DredgelCreateObjectFn createObject = nullptr;
    GetDredgelObjFn getDredgelObj = nullptr;
};
int RunMediaJobWith(const MediaLibraryCalls& calls, IVirtualDevice& device, const std::string& outFolder,
                    FILE* report);

// A name from the device made safe as one path component: no separators, ':' or control bytes,
// no leading dots; "." and ".." and empty names become "unnamed".
std::string CleanFileName(const std::string& name);
