#pragma once
// A fresh folder under $TMPDIR (or /tmp) for one test, removed with everything in it when the test
// ends, whether it passed or not.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

class TempFolder {
public:
    explicit TempFolder(const char* prefix = "rk_test") {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/" + prefix + "_XXXXXX";
        if (mkdtemp(&pattern[0])) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
