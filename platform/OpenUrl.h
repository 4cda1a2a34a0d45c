#pragma once
#include <string>

namespace platform {

// An http(s) address with a host: the only kind a link in a window may open.
bool IsWebAddress(const std::string& target);

// What OpenUrl would hand to the desktop for target: an http(s) address as given, an existing
// folder as a file:// URI; empty for anything else (other schemes, files, missing folders).
std::string UrlToOpen(const std::string& target);

// Opens an http(s) address in the user's browser or an existing folder in the file manager, without
// waiting for it. False when the target is refused or nothing could be started.
bool OpenUrl(const std::string& target);

}  // namespace platform
