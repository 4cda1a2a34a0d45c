#pragma once
#include <cstddef>
#include <string>

// Names read from a phone (file, folder and attachment names) become names of files the user
// opens: they must stay one path component and must read as what they are.

constexpr size_t kMaxCleanNameBytes = 200;

// The name made safe as one component of a path:
// - '/', '\\', ':' and control characters (C0, DEL, C1) become '_';
// - invisible format characters (bidirectional embeddings, overrides and isolates, zero-width
//   characters, the byte-order mark, the soft hyphen, line and paragraph separators, tags) become
//   '_', so that "photo<U+202E>gpj.exe" cannot pass for a picture;
// - bytes that are not well-formed UTF-8 become '_';
// - leading dots and blanks are dropped (no hidden files, never "." or "..");
// - a name longer than maxBytes is cut at a character boundary and keeps its extension.
// Empty when nothing is left.
std::string CleanFileName(const std::string& name, size_t maxBytes = kMaxCleanNameBytes);

// Whether the code point is one of the invisible format characters CleanFileName replaces.
bool IsInvisibleFormatCharacter(char32_t c);
