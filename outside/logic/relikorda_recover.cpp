// relikorda-recover --device DIR|IMAGE --out DIR
// The headless main job: opens a phone (a device folder, an image file or a block device) and
// runs the jobs one after the other into a folder of the run's own under the output folder.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "outside/device/CDeviceFolder.h"
#include "outside/logic/CommandLine.h"
#include "outside/logic/ConsoleProgressDisplay.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/MediaJob.h"
#include "outside/logic/OutputFolder.h"
#include "outside/logic/RecoveryJob.h"
#include "outside/logic/SmsJob.h"
#include "platform/FileSystem.h"
#include "platform/PageMemory.h"
#include "platform/TimeConversion.h"

namespace {

// The heap's step: most of each step lies in whole huge pages that nothing touched before the advice.
constexpr size_t kHeapStep = size_t(8) << 20;
struct JobEntry {
    const char* name;
    RecoveryJob job;
    int failureValue;  // added to the exit code when the job fails
};

const JobEntry kJobs[] = {
    {"listing", ListDeviceJob, 0},
    {"contacts", ContactsJob, EXIT_CONTACTS_FAILED},
    {"SMS/MMS", SmsJob, EXIT_SMS_FAILED},
    {"media", MediaRecoveryJob, EXIT_MEDIA_FAILED},
};

const char kUsage[] =
    "usage: relikorda-recover --device DIR|IMAGE --out DIR\n"
    "  --device  the phone: a device folder (device.ini, fs/, storage/), an image file or a block device\n"
    "  --out     the folder that receives what is recovered, each run in a new folder named by its start\n"
    "            (YYYY-MM-DD-hh-mm-ss); made when missing, never inside the device\n"
    "exit codes: 0 done, 2 bad arguments, 3 the device cannot be opened, 4 the output folder cannot be made,\n"
    "            8 + 1 (contacts) + 2 (SMS/MMS) + 4 (media) for the jobs that failed, 9 to 15\n";

const char kLogName[] = "relikorda.log";

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "relikorda-recover: %s\n", message.c_str());
    if (code == EXIT_BAD_ARGUMENTS) std::fputs(kUsage, stderr);
    return code;
}

// The recovery libraries log to the file RELIKORDA_LOG names; unless the user named one, that
// is a file of the run, made new (never through a link).
void PlaceLog(const std::string& runFolder) {
    if (const char* named = std::getenv("RELIKORDA_LOG"))
        if (*named) return;
    std::string path = platform::JoinPath(runFolder, kLogName);
    std::string reason;
    if (!WriteNewFile(path, std::string(), &reason)) {
        ReportLostFile(path, reason);
        return;
    }
    setenv("RELIKORDA_LOG", path.c_str(), 1);
}

int RunJobs(JobContext& context) {
    int failed = 0;
    std::string names;
    for (const JobEntry& entry : kJobs) {
        if (entry.job(context) == 0) continue;
        failed |= entry.failureValue;
        names += names.empty() ? entry.name : std::string(", ") + entry.name;
    }
    std::fflush(context.report);
    if (failed == 0) return EXIT_RUN_OK;
    std::fprintf(stderr, "relikorda-recover: failed: %s\n", names.c_str());
    return EXIT_JOBS_FAILED + failed;
}
}  // namespace

int main(int argc, char** argv) {
    // A large database's rows fill the heap with small records: it grows by steps in huge pages.
    platform::GrowHeapInSteps(kHeapStep);
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return Fail(EXIT_BAD_ARGUMENTS, error);
    if (line.help) {
        std::fputs(kUsage, stdout);
        return EXIT_RUN_OK;
    }

    std::string devicePath = AbsolutePath(line.device);
    if (devicePath.empty() || platform::GetEntryKind(devicePath) == platform::EntryKind::Missing)
        return Fail(EXIT_NO_DEVICE, "the device " + line.device + " does not exist");
    std::string outPath = AbsolutePath(line.out);
    if (outPath.empty()) return Fail(EXIT_NO_OUTPUT, "cannot make the output folder " + line.out);
    // Nothing is ever written to the phone: not even the output folder may lie in it.
    if (IsSameOrInside(outPath, devicePath))
        return Fail(EXIT_BAD_ARGUMENTS, "the output folder " + line.out + " lies inside the device " + line.device);

    CDeviceFolder* phone = new CDeviceFolder;
    if (!phone->Load(devicePath)) {
        phone->Release();
        return Fail(EXIT_NO_DEVICE, "cannot open the device " + line.device);
    }
    if (!HoldsAnythingToRead(*phone)) {
        phone->Release();
        return Fail(EXIT_NO_DEVICE, "cannot open the device " + line.device +
                                        ": it holds no database and no storage volume that can be read");
    }
    platform::SystemTime start{};
    platform::GetLocalTime(&start);
    std::string reason;
    std::string runFolder = MakeRunFolder(outPath, start, &reason);
    if (runFolder.empty()) {
        phone->Release();
        return Fail(EXIT_NO_OUTPUT, "cannot make the output folder " + line.out + ": " + reason);
    }

    ConsoleProgressDisplay progress(stdout, platform::IsTerminal(stdout));
    JobContext context;
    context.device = phone;
    context.out = runFolder;
    context.progress = &progress;
    std::fprintf(context.report, "output %s\n", runFolder.c_str());
    PlaceLog(runFolder);
    int code = RunJobs(context);
    context.contacts.reset();
    phone->Release();
    return code;
}
