#pragma once
#include <string>

namespace platform {

// The folder browser: a folder chooser shown on the GUI's main thread (the thread running the
// default main context). It may be called from a worker thread, which then only waits for the
// answer and never touches a widget; called from a handler on the main thread it turns the main
// loop until the chooser is answered. ownerTitle names the top-level window the chooser stays above (none when
// no shown window has that title, trailing blanks aside); initialFolder, when it is an existing
// folder, is where the chooser opens. True with the chosen folder's path, false when cancelled.
bool BrowseForFolder(const std::string& ownerTitle, const std::string& title, const std::string& initialFolder,
                     std::string* chosen);

}  // namespace platform
