#include "outside/logic/vantrel/DeviceWatch.h"

#include <utility>

#include "logic_contract/RelikordaMsg.h"
#include "outside/device/CDeviceFolder.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/vantrel/LogicMessages.h"

DeviceWatch::DeviceWatch(std::string path) : path_(std::move(path)) {}

DeviceWatch::~DeviceWatch() { Stop(); }

void DeviceWatch::Start() {
    if (path_.empty() || thread_.joinable()) return;
    thread_ = std::thread(&DeviceWatch::Run, this);
}

void DeviceWatch::Stop() {
    if (!thread_.joinable()) return;
    stop_.Release();
    thread_.join();
}

void DeviceWatch::PostState() {
    if (IsReadable()) PostText(MSG_DEVICE_STATE, PhoneName(path_));
}

CDeviceFolder* DeviceWatch::OpenPhone(const std::string& path, bool quiet) {
    if (path.empty()) return nullptr;
    CDeviceFolder* phone = new CDeviceFolder;
    phone->SetQuiet(quiet);
    if (phone->Load(path) && HoldsAnythingToRead(*phone)) return phone;
    phone->Release();
    return nullptr;
}

std::string DeviceWatch::PhoneName(const std::string& path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return path;
    size_t slash = path.rfind('/', end);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end + 1 - start);
}

void DeviceWatch::Look() {
    CDeviceFolder* phone = OpenPhone(path_, true);
    bool readable = phone != nullptr;
    if (phone) phone->Release();
    if (readable == readable_.load()) return;
    readable_.store(readable);
    if (readable) PostText(MSG_DEVICE_STATE, PhoneName(path_));
    else PostMessage(MSG_DEVICE_OFFLINE);
}

void DeviceWatch::Run() {
    do {
        Look();
    } while (!stop_.WaitFor(kPollMs));
}
