#include "testing/FakeDesktop.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

FakeDesktop::FakeDesktop() {
    // Under $TMPDIR when set (the display tests' runner gives each run one), and removed when done.
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/rk_desktop_XXXXXX";
    if (!mkdtemp(&pattern[0])) throw std::runtime_error("no folder for the test's desktop");
    base_ = pattern;
    std::filesystem::create_directories(base_ + "/data/applications");
    // The toolkit's own settings folder is there already, as on any desktop that ran it once.
    std::filesystem::create_directories(base_ + "/config/gtk-2.0");
    record_ = base_ + "/opened.txt";
    const std::string script = base_ + "/record.sh";
    Write(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record_ + "'\n");
    chmod(script.c_str(), 0755);
    Write(base_ + "/data/applications/rk-recorder.desktop",
          "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + script +
              " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;inode/directory;\n");
    Write(base_ + "/config/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/http=rk-recorder.desktop\n"
          "x-scheme-handler/https=rk-recorder.desktop\ninode/directory=rk-recorder.desktop\n");
    // The system's data stays visible: file types (pictures among them) are known through it.
    const char* data = getenv("XDG_DATA_DIRS");
    const std::string system = data && *data ? data : "/usr/local/share:/usr/share";
    setenv("XDG_DATA_HOME", (base_ + "/data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (base_ + "/data:" + system).c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base_ + "/config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (base_ + "/config").c_str(), 1);
}

FakeDesktop::~FakeDesktop() {
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
}

std::vector<std::string> FakeDesktop::Opened() const {
    std::ifstream in(record_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
