// relikorda-recover --device DIR|IMAGE --out DIR
// The headless main job: opens a phone (a device folder, an image file or a block device) and
// runs the jobs one after the other; each writes only below the output folder.
#include <cstdio>
#include <string>

#include "outside/device/CDeviceFolder.h"
#include "outside/logic/CommandLine.h"
#include "outside/logic/MediaJob.h"
#include "outside/logic/RecoveryJob.h"
#include "outside/logic/SmsJob.h"
#include "platform/FileSystem.h"

namespace {
const RecoveryJob kJobs[] = {
    ListDeviceJob,
    ContactsJob,
    SmsJob,
    MediaRecoveryJob,
};

const char kUsage[] =
    "usage: relikorda-recover --device DIR|IMAGE --out DIR\n"
    "  --device  the phone: a device folder (device.ini, fs/, storage/), an image file or a block device\n"
    "  --out     the folder that receives what is recovered; made when missing, never inside the device\n"
    "exit codes: 0 done, 1 a job failed, 2 bad arguments, 3 the device cannot be opened,\n"
    "            4 the output folder cannot be made\n";

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "relikorda-recover: %s\n", message.c_str());
    if (code == EXIT_BAD_ARGUMENTS) std::fputs(kUsage, stderr);
    return code;
}
}  // namespace

int main(int argc, char** argv) {
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
    if (!platform::CreateDirectories(outPath) || platform::GetEntryKind(outPath) != platform::EntryKind::Directory) {
        phone->Release();
        return Fail(EXIT_NO_OUTPUT, "cannot make the output folder " + line.out);
    }

    JobContext context;
    context.device = phone;
    context.out = outPath;
    int code = EXIT_RUN_OK;
    for (RecoveryJob job : kJobs) {
        code = job(context);
        if (code != EXIT_RUN_OK) break;
    }
    std::fflush(context.report);
    phone->Release();
    return code;
}
