#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Standard alphabet with '=' padding and a line feed after every 72 output characters.
std::string Base64Encode(const void* data, size_t length);
// Skips every character outside the alphabet; 3 bytes per 4 accepted characters, plus the complete
// bytes of a final partial group.
std::vector<unsigned char> Base64Decode(const std::string& text);
// Upper bound of the encoded size (with line feeds), for callers that size a buffer.
size_t Base64EncodedSize(size_t length);
