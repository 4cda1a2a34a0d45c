#pragma once

namespace platform {

// The debugger's output: appends text to the file named by RELIKORDA_LOG; nothing when unset.
// Never the console.
void OutputDebugStringA(const char* text);

}  // namespace platform
