#pragma once
#include <cstdint>

// What a reader could not read whole and so loses a live file or folder, or more: a structure it
// refused, a file system that runs past the end of its device. Each is one line of the log that
// begins with the warning prefix, which the outside logger also shows on standard error, and is
// counted (once each: two searches may read one volume): the media library's run then tells its
// caller that it read the device only in part.
void SayReadInPart(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Starts a run: what an earlier run said (a scan of the same device again, in one process) is
// said and counted again.
void ForgetReadInPart();
// The lines said since the run started.
uint64_t ReadInPartCount();
