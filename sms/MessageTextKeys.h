#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "sqlite_recovery/framework/ValueHash.h"

// The keys under which the message assembly files and finds placed texts.

inline bool ContainsText(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline size_t HashOfText(const std::string& text) { return std::hash<std::string>()(text); }

// The key of an SMS row in the index by thread and text; text-only messages go under their text alone.
inline size_t HashOfThreadText(bool textOnly, int64_t threadId, const std::string& text) {
    return ValueHash().Add(textOnly).Add(textOnly ? 0 : threadId).Add(text).Value();
}
