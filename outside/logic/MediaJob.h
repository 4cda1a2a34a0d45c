#pragma once
#include <cstdio>
#include <string>

#include "media_recovery/DredgelExports.h"

class IVirtualDevice;
struct JobContext;

// The media part of the main job: loads libDredgel.so by name, runs it over the device's storage
// volumes and writes every accepted file under outFolder/files/, keeping the found names and the
// folders a file system gave them. Prints the counts per category. 0 on success.
int RunMediaJob(IVirtualDevice& device, const std::string& outFolder, FILE* report = stdout);
// The same as a job of the headless run.
int MediaRecoveryJob(JobContext& context);

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
