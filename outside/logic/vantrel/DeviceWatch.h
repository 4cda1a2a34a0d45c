#pragma once
#include <atomic>
#include <string>
#include <thread>

#include "platform/Semaphore.h"

class CDeviceFolder;

// Watches the phone: the device folder (or image) at a path. On its own thread it looks every
// quarter of a second whether the phone can be read, and tells the GUI when that changes: the
// device state (0x01010001, the folder's name as UTF-16) when it becomes readable, off line
// (0x01010005) when it stops being so.
class DeviceWatch {
public:
    static constexpr uint32_t kPollMs = 250;

    // An empty path: there is no phone, and nothing is ever posted.
    explicit DeviceWatch(std::string path);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    void Start();
    // Ends the watching thread; nothing is posted after it returns.
    void Stop();

    // What the last look found.
    bool IsReadable() const { return readable_.load(); }
    // Posts the device state again when the phone is readable (a connection page is built anew).
    void PostState();
    const std::string& Path() const { return path_; }

    // The phone at path opened, when it holds a database or a storage volume that can be read;
    // null otherwise.
    static CDeviceFolder* OpenPhone(const std::string& path, bool quiet = false);
    // The name the GUI shows: the folder's (or image's) own name.
    static std::string PhoneName(const std::string& path);

private:
    void Run();
    void Look();

    std::string path_;
    std::thread thread_;
    platform::Semaphore stop_{0, 1};
    std::atomic<bool> readable_{false};
};
