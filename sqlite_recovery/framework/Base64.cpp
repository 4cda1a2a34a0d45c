#include "sqlite_recovery/framework/Base64.h"

extern "C" {
#include <b64/cdecode.h>
#include <b64/cencode.h>
}

size_t Base64EncodedSize(size_t length) {
    size_t chars = (length + 2) / 3 * 4;
    return chars + chars / 72 + 1;
}

std::string Base64Encode(const void* data, size_t length) {
    std::string out;
    if (length == 0) return out;
    // libb64 encodes at most an int's worth at a time; feed it in pieces that keep the groups whole.
    const size_t kPiece = 3 * 18 * 4096;
    out.resize(Base64EncodedSize(length) + 2);
    base64_encodestate state;
    base64_init_encodestate(&state);
    const char* in = static_cast<const char*>(data);
    size_t written = 0;
    for (size_t done = 0; done < length; done += kPiece) {
        size_t n = length - done < kPiece ? length - done : kPiece;
        written += static_cast<size_t>(base64_encode_block(in + done, static_cast<int>(n), &out[written], &state));
    }
    written += static_cast<size_t>(base64_encode_blockend(&out[written], &state));
    out.resize(written);
    // The library ends every encoding with a line feed of its own; only the 72-character ones stay.
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::vector<unsigned char> Base64Decode(const std::string& text) {
    std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
    base64_decodestate state;
    base64_init_decodestate(&state);
    size_t written = 0;
    const size_t kPiece = 1 << 24;
    for (size_t done = 0; done < text.size(); done += kPiece) {
        size_t n = text.size() - done < kPiece ? text.size() - done : kPiece;
        written += static_cast<size_t>(base64_decode_block(text.data() + done, static_cast<int>(n),
                                                           reinterpret_cast<char*>(out.data()) + written, &state));
    }
    out.resize(written);
    return out;
}
