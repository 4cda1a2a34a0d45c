#include "outside/logic/MediaJob.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/IArchiveDataRecovery.h"
#include "media_recovery/file_model/IFileNode.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "outside/device/CDeviceFolder.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "outside/logic/RecoveryJob.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"

namespace {

class CJobSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

bool Exists(const std::string& path) { return platform::EntryExists(path); }

// The folders above a node, outermost first, as the file system named them.
std::vector<std::string> FoldersOf(IFileNode* node) {
    std::vector<std::string> folders;
    std::set<IFileNode*> seen{node};
    for (IFileNode* parent = node->GetParent(); parent && folders.size() < 64; parent = parent->GetParent()) {
        if (!seen.insert(parent).second) break;
        const char* name = parent->GetName();
        if (name && *name) folders.push_back(CleanFileName(name));
    }
    std::reverse(folders.begin(), folders.end());
    return folders;
}

// name, or name_2.ext, name_3.ext, ... when that is taken in folder.
std::string FreeName(const std::string& folder, const std::string& name) {
    std::string path = platform::JoinPath(folder, name);
    if (!Exists(path)) return path;
    size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (int n = 2; n < 100000; ++n) {
        path = platform::JoinPath(folder, stem + "_" + std::to_string(n) + ext);
        if (!Exists(path)) return path;
    }
    return platform::JoinPath(folder, name);  // RecoverTo then picks a substitute of its own
}

}  // namespace

std::string CleanFileName(const std::string& name) {
    std::string clean;
    for (unsigned char c : name) {
        bool bad = c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':';
        clean += bad ? '_' : static_cast<char>(c);
    }
    size_t start = clean.find_first_not_of('.');
    clean = start == std::string::npos ? std::string() : clean.substr(start);
    if (clean.size() > 200) clean.resize(200);
    return clean.empty() ? "unnamed" : clean;
}

int RunMediaJobWith(const MediaLibraryCalls& calls, IVirtualDevice& device, const std::string& outFolder,
                    FILE* report) {
    if (!calls.createObject || !calls.getDredgelObj) {
        std::fprintf(report, "media: the media library has not its exports\n");
        return 1;
    }
    ICommon* object = calls.createObject();
    DredgelAnalyzer* analyser = dynamic_cast<DredgelAnalyzer*>(object);
    if (!analyser) {
        std::fprintf(report, "media: the media library made no analyser\n");
        if (object) object->Release();
        return 1;
    }
    CJobSink sink;
    IDataContainer<_ARCHIVE_INFOMATION>* container = analyser->Initialize(&device, &sink);
    if (!container) {
        std::fprintf(report, "media: no storage volume could be opened\n");
        analyser->Release();
        return 0;
    }
    analyser->StartRecovery(nullptr);

    std::vector<_ARCHIVE_INFOMATION> items;
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container);
        for (auto it = container->Begin(); it != container->End(); ++it)
            if (it->second.node) items.push_back(it->second);
    }
    std::sort(items.begin(), items.end(),
              [](const _ARCHIVE_INFOMATION& a, const _ARCHIVE_INFOMATION& b) { return a.id < b.id; });

    CRecoveryFilter filter;
    int pictures = 0, videos = 0, audio = 0, documents = 0, deleted = 0, written = 0, failed = 0;
    std::string filesRoot = platform::JoinPath(outFolder, "files");
    std::map<std::pair<uint64_t, uint32_t>, IArchiveDataRecovery*> recoveries;
    for (const _ARCHIVE_INFOMATION& item : items) {
        IFileNode* node = item.node;
        switch (filter.GetCategoryFlag(node)) {
            case FILTER_FLAG_PICTURE: ++pictures; break;
            case FILTER_FLAG_VIDEO: ++videos; break;
            case FILTER_FLAG_AUDIO: ++audio; break;
            default: ++documents; break;
        }
        if (node->IsDeleted()) ++deleted;
        std::string folder = filesRoot;
        for (const std::string& part : FoldersOf(node)) folder = platform::JoinPath(folder, part);
        if (!platform::CreateDirectories(folder)) {
            ++failed;
            continue;
        }
        std::string destination = FreeName(folder, CleanFileName(node->GetName() ? node->GetName() : ""));
        auto key = std::make_pair(item.owner, item.type);
        auto found = recoveries.find(key);
        IArchiveDataRecovery* recovery =
            found != recoveries.end() ? found->second : (recoveries[key] = calls.getDredgelObj(analyser, &item));
        if (!recovery) {
            ++failed;
            continue;
        }
        if (IArchiveFileReader* reader = recovery->OpenFile(node)) reader->Release();
        if (Succeeded(recovery->RecoverTo(destination.c_str(), &sink, 1))) ++written;
        else ++failed;
    }
    for (auto& entry : recoveries)
        if (entry.second) entry.second->Release();
    std::fprintf(report, "media: %zu files found (pictures %d, videos %d, audio %d, documents %d; %d deleted)\n",
                 items.size(), pictures, videos, audio, documents, deleted);
    std::fprintf(report, "media: %d written under %s, %d failed\n", written, filesRoot.c_str(), failed);
    analyser->Release();
    return failed ? 1 : 0;
}

int RunMediaJob(IVirtualDevice& device, const std::string& outFolder, FILE* report) {
    platform::LibraryHandle library = platform::LoadLibraryW(L"Dredgel");
    if (!library) {
        std::fprintf(report, "media: libDredgel.so not found\n");
        return 1;
    }
    MediaLibraryCalls calls;
    calls.createObject = reinterpret_cast<DredgelCreateObjectFn>(platform::GetProcAddress(library, "CreateObject"));
    calls.getDredgelObj = reinterpret_cast<GetDredgelObjFn>(platform::GetProcAddress(library, "GetDredgelObj"));
    int result = RunMediaJobWith(calls, device, outFolder, report);
    // The library stays loaded: its reader threads are joined when the process ends.
    return result;
}

int MediaRecoveryJob(JobContext& context) {
    if (!context.device) return 1;
    // The library's log lines belong in a file of the run, not among the job's output.
    if (!std::getenv("RELIKORDA_LOG")) setenv("RELIKORDA_LOG", platform::JoinPath(context.out, "relikorda.log").c_str(), 0);
    return RunMediaJob(*context.device, context.out, context.report);
}
