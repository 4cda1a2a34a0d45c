#pragma once
#include <string>
#include <vector>

// A desktop of the test's own: its default application for web addresses and folders writes what
// it is given, one line each, into a file. Made before anything in the process asks the desktop
// (GIO reads the settings once); the system's data folders stay visible behind it.
class FakeDesktop {
public:
    FakeDesktop();
    ~FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;
    // What was opened so far, in the order the openings wrote it.
    std::vector<std::string> Opened() const;
    const std::string& Folder() const { return base_; }

private:
    std::string base_;
    std::string record_;
};
