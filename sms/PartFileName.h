#pragma once
#include <cstdint>
#include <string>

// The file name under which an MMS attachment is offered. The part's content location comes from
// the sender, so only its last path component is used, without separators, ':' or control bytes,
// never "." or "..", with a short extension of letters and digits only. A location with a path in
// it, or one that leaves nothing usable, gets a generated name "%08x" + extension from the counter.
std::string MakePartFileName(const std::string& contentLocation, uint32_t* counter);
// The same cleaning for a name read back from a document; empty when nothing usable is left.
std::string SanitizePartFileName(const std::string& name);
