#include "outside/logic/MediaJob.h"

#include <algorithm>
#include <memory>

#include "media_recovery/MediaErrors.h"
#include "outside/device/CDeviceFolder.h"
#include "outside/logic/FoundFileOpener.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/RecoveryJob.h"
#include "outside/logic/SectorCountingDevice.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"

namespace {

// The scan's progress: the share of the volumes' sectors read when they are counted, else the
// library's own share. Never the end before the library returns.
class ScanProgress : public IProgress {
public:
    ScanProgress(IJobProgress* progress, const MediaScanWatch& watch) : progress_(progress), watch_(watch) {}
    void OnProgress(const PROGRESS_INFO* record) override {
        if (!progress_ || !record) return;
        double share = 0;
        uint64_t total = record->total, done = record->done;  // copies: the record is packed
        if (watch_.device && watch_.sectors)
            share = static_cast<double>(watch_.device->SectorsRead()) / static_cast<double>(watch_.sectors);
        else if (total)
            share = static_cast<double>(done) / static_cast<double>(total);
        progress_->Update(watch_.phase, std::min(share, kMostBeforeTheEnd));
    }
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }

private:
    static constexpr double kMostBeforeTheEnd = 0.99;
    IJobProgress* progress_;
    const MediaScanWatch& watch_;
};

}  // namespace

int RunMediaJobWith(const MediaLibraryCalls& calls, IVirtualDevice& device, const std::string& outFolder,
                    FILE* report, IJobProgress* progress, const MediaScanWatch& watch) {
    if (!calls.createObject || !calls.getDredgelObj) {
        std::fprintf(report, "media: the media library has not its exports\n");
        return 1;
    }
    MediaRun run;
    switch (run.Open(calls.createObject, &device, std::unique_ptr<IProgress>(new ScanProgress(progress, watch)))) {
        case AnalyserOpening::NoAnalyser:
            std::fprintf(report, "media: the media library made no analyser\n");
            return 1;
        case AnalyserOpening::NotInitialised:
            std::fprintf(report, "media: no storage volume could be opened\n");
            return 0;
        case AnalyserOpening::Opened: break;
    }
    // A volume read only in part: what its readers refused is said on standard error already.
    const bool inPart = ErrorNumber(run.Run(nullptr)) == MEDIA_E_READ_IN_PART;
    if (progress) progress->Finish(watch.phase);

    TickAll(run.GetContainer());
    MediaCounts counts;
    {
        FoundFileOpener opener(calls.getDredgelObj, run.GetAnalyser());
        WriteMedia(opener, run.GetContainer(), outFolder, FILE_CATEGORY_ALL, nullptr, progress, &counts);
    }
    std::fprintf(report, "media: %d files found (pictures %d, videos %d, audio %d, documents %d; %d deleted)\n",
                 counts.Distinct(), counts.pictures, counts.videos, counts.audio, counts.documents, counts.deleted);
    std::fprintf(report, "media: %d written under %s, %d failed\n", counts.written,
                 platform::JoinPath(outFolder, "files").c_str(), counts.failed);
    if (counts.unreadable)
        std::fprintf(report, "media: %d of them written empty: the volume holds no data the library can read for them\n",
                     counts.unreadable);
    if (counts.shortFiles)
        std::fprintf(report, "media: %d of them short: the device holds no more of them (each named on standard error)\n",
                     counts.shortFiles);
    if (counts.carvedInPart)
        std::fprintf(report,
                     "media: %d of them carved in part: each is written as far as its own structure holds together "
                     "(each named on standard error)\n",
                     counts.carvedInPart);
    if (counts.gone)
        std::fprintf(report, "media: %d not written: the device holds none of their bytes (each named on standard error)\n",
                     counts.gone);
    if (counts.overwritten)
        std::fprintf(report,
                     "media: %d deleted entries overwritten: live files or folders now hold their data, so they were "
                     "not written\n",
                     counts.overwritten);
    if (inPart)
        std::fprintf(report, "media: the device was read only in part: what its file systems hold past the damage "
                             "is lost (each said on standard error)\n");
    // A file written short, carved in part or not written at all, or a volume read in part, fell
    // short as a file not written does.
    return counts.failed || counts.shortFiles || counts.carvedInPart || counts.gone || inPart ? 1 : 0;
}

int RunMediaJob(IVirtualDevice& device, const std::string& outFolder, FILE* report, IJobProgress* progress,
                const MediaScanWatch& watch) {
    platform::LibraryHandle library = platform::LoadLibraryW(L"Dredgel");
    if (!library) {
        std::fprintf(report, "media: libDredgel.so not found\n");
        return 1;
    }
    MediaLibraryCalls calls = MediaLibraryCallsOf(library);
    int result = RunMediaJobWith(calls, device, outFolder, report, progress, watch);
    // The library stays loaded: its reader threads are joined when the process ends.
    return result;
}

MediaLibraryCalls MediaLibraryCallsOf(platform::LibraryHandle library) {
    MediaLibraryCalls calls;
    if (!library) return calls;
    calls.createObject = reinterpret_cast<DredgelCreateObjectFn>(platform::GetProcAddress(library, "CreateObject"));
    calls.getDredgelObj = reinterpret_cast<GetDredgelObjFn>(platform::GetProcAddress(library, "GetDredgelObj"));
    return calls;
}

uint64_t VolumeSectors(CDeviceFolder& device) {
    uint64_t sectors = 0;
    for (size_t i = 0; i < device.StorageCount(); ++i) {
        CImageStorage* volume = device.Storage(i);
        if (volume->Open()) sectors += volume->GetSectorCount();
        volume->Close();
    }
    return sectors;
}

int MediaRecoveryJob(JobContext& context) {
    if (!context.device) return 1;
    MediaScanWatch watch;
    watch.sectors = VolumeSectors(*context.device);
    watch.phase = "media scan of " + std::to_string(watch.sectors) + " sectors";
    // The library's own percentages weigh its passes, not the sectors: the share of the sectors
    // read is what tells how long a large card still takes.
    SectorCountingDevice counted(*context.device);
    watch.device = &counted;
    const int result = RunMediaJob(counted, context.out, context.report, context.progress, watch);
    // A partition the image ends before is lost whole: no reader saw it, the device said it.
    if (const size_t lost = context.device->LostPartitions()) {
        std::fprintf(context.report, "media: %zu partition%s of the device lie%s past the end of its image: what %s "
                                     "held is lost (said on standard error)\n", lost, lost == 1 ? "" : "s",
                     lost == 1 ? "s" : "", lost == 1 ? "it" : "they");
        return 1;
    }
    return result;
}
