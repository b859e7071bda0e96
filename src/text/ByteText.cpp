#include "text/ByteText.h"

#include "text/KernelSets.h"
#include "text/Utf8.h"

#include <cstdint>

namespace qorutils {
namespace text {

namespace {

// The lone surrogate that keeps a byte that is no part of UTF-8.
constexpr unsigned kKeptByte = 0xDC00;

bool IsKeptByte(uint32_t code) {
    return code >= kKeptByte + 0x80 && code <= kKeptByte + 0xFF;
}

// The bytes of one character or kept byte; returns how many (1 to 4).
int Encode(uint32_t code, char* out) {
    if (code < 0x80 || IsKeptByte(code)) {
        out[0] = static_cast<char>(code & 0xFF);
        return 1;
    }
    if (code >= 0xD800 && code <= 0xDFFF) {
        out[0] = '?';
        return 1;
    }
    const int more = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    out[0] = static_cast<char>(((0xF0u << (3 - more)) & 0xFFu) | (code >> (6 * more)));
    for (int i = 1; i <= more; ++i) {
        out[i] = static_cast<char>(0x80u | ((code >> (6 * (more - i))) & 0x3Fu));
    }
    return more + 1;
}

} // namespace

size_t Utf16FromBytes(const char* src, size_t length, unsigned short* dst) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    size_t written = 0;
    for (size_t i = 0; i < length;) {
        size_t used = 1;
        uint32_t code = bytes[i];
        if (code >= 0x80) {
            code = DecodeUtf8Sequence(bytes + i, length - i, used);
            if (code == kReplacementCharacter && used == 1) {
                code = kKeptByte + bytes[i];
            }
        }
        // A byte gives at most one unit, so the units always fit.
        PutCodePoint(code, dst, length, written);
        i += used;
    }
    return written;
}

int BytesFromUtf16(char* dest, const unsigned short* text, int length, int limit,
                   int* taken) noexcept {
    int written = 0;
    int i = 0;
    while (i < length && text[i] != 0) {
        uint32_t code = text[i];
        const bool pair = IsHighSurrogate(code) && i + 1 < length && IsLowSurrogate(text[i + 1]);
        if (pair) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
        }
        char bytes[4];
        const int count = Encode(code, bytes);
        if (written + count > limit) {
            break;
        }
        for (int k = 0; k < count; ++k) {
            dest[written++] = bytes[k];
        }
        i += pair ? 2 : 1;
    }
    dest[written] = '\0';
    if (taken != nullptr) {
        *taken = i;
    }
    return written;
}

int WithoutLastCharacters(const unsigned short* text, int length, int count) noexcept {
    for (; count > 0 && length > 0; --count) {
        const bool pair =
            length >= 2 && IsLowSurrogate(text[length - 1]) && IsHighSurrogate(text[length - 2]);
        length -= pair ? 2 : 1;
    }
    return length;
}

} // namespace text
} // namespace qorutils
