#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "media_recovery/DredgelExports.h"
#include "outside/logic/AnalyserRun.h"
#include "outside/logic/MediaWriter.h"
#include "platform/DynamicLibrary.h"

class CDeviceFolder;
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

// The media analyser of a run, with the found files. The files' nodes belong to it.
class MediaRun : public AnalyserRun<_ARCHIVE_INFOMATION> {};

// The media part of the main job: loads libDredgel.so by name, runs it over the device's storage
// volumes, ticks every file and writes each once under outFolder/files/ (WriteMedia). Prints the
// counts per category and names on standard error each file that could not be written. 0 on
// success.
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
// The two exports of a loaded media library (null where one is missing).
MediaLibraryCalls MediaLibraryCallsOf(platform::LibraryHandle library);

// The sectors of the device's storage volumes that can be opened.
uint64_t VolumeSectors(CDeviceFolder& device);
