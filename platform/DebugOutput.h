#pragma once

namespace platform {

// The debugger's output: appends text to the file named by RELIKORDA_LOG; nothing when unset.
// Never the console.
void OutputDebugStringA(const char* text);
// The same for a wide text, written as UTF-8.
void OutputDebugStringW(const wchar_t* text);

}  // namespace platform
