#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "media_recovery/DredgelExports.h"

class IJobProgress;
class IVirtualDevice;
class SectorCountingDevice;
struct JobContext;

// How the scan's progress is told: its phase's name and, when the device counts the sectors read
// from it, the share of the volumes' sectors read.
struct MediaScanWatch {
    std::string phase = "media scan";
    const SectorCountingDevice* device = nullptr;
    uint64_t sectors = 0;
};

// The media part of the main job: loads libDredgel.so by name, runs it over the device's storage
// volumes and writes every accepted file once under outFolder/files/: a file a file system found
// under its name in the folders the file system gave it, a file only carving found under
// files/carved/<pictures|videos|audio|documents>/. A carved hit whose data begins where a file
// system's file begins is that file and is not written again. Prints the counts per category and
// names on standard error each file that could not be written. 0 on success.
int RunMediaJob(IVirtualDevice& device, const std::string& outFolder, FILE* report = stdout,
                IJobProgress* progress = nullptr, const MediaScanWatch& watch = MediaScanWatch());
// The same as a job of the headless run.
int MediaRecoveryJob(JobContext& context);

// The same with the two exports given (tests run the library's code in-process).
struct MediaLibraryCalls {
    DredgelCreateObjectFn createObject = nullptr;
    GetDredgelObjFn getDredgelObj = nullptr;
};
int RunMediaJobWith(const MediaLibraryCalls& calls, IVirtualDevice& device, const std::string& outFolder,
                    FILE* report, IJobProgress* progress = nullptr, const MediaScanWatch& watch = MediaScanWatch());

// A name from the device as a file or folder name of the output: cleaned of separators, control
// and invisible characters and leading dots, cut to length with its extension kept; "unnamed"
// when nothing is left.
std::string OutputFileName(const std::string& name);
