#pragma once
// A device folder in a private temporary folder, made once per process, whose one database file is
// replaced by each fuzz input; the analysers copy it from there as from a phone.
#include <cstdint>
#include <string>

#include "outside/device/CDeviceFolder.h"
#include "platform/FileSystem.h"
#include "platform/PlatformFile.h"

class PhoneFolder {
public:
    explicit PhoneFolder(const std::string& devicePath) {
        root_ = platform::CreateUniquePrivateDirectory(platform::TemporaryFolder(), "rk_fuzz_phone.");
        file_ = root_ + "/fs" + devicePath;
        platform::CreateDirectories(platform::ParentFolder(file_));
        platform::PlatformFile ini;
        const char text[] = "[device]\nversion=4.4\n";
        if (ini.Open(root_ + "/device.ini", platform::PlatformFile::Mode::CreateAlways)) ini.Write(text, sizeof text - 1);
    }
    ~PhoneFolder() {
        platform::DeleteFile(file_);
        platform::DeleteFile(root_ + "/device.ini");
        for (std::string folder = platform::ParentFolder(file_); folder.size() > root_.size();
             folder = platform::ParentFolder(folder))
            platform::RemoveDirectory(folder);
        platform::RemoveDirectory(root_);
    }
    // Writes the input as the database and loads the device afresh.
    bool Load(const uint8_t* data, size_t size, CDeviceFolder* device) {
        platform::PlatformFile out;
        if (!out.Open(file_, platform::PlatformFile::Mode::CreateAlways) || (size && !out.Write(data, size)))
            return false;
        out.Close();
        return device->Load(root_);
    }

private:
    std::string root_, file_;
};
