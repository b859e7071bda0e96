#include "text/Narrow.h"

#include "text/Utf8.h"

namespace qorutils {
namespace text {
namespace {

// The byte that the character at `text`, whose first byte is beyond ASCII, narrows to; moves
// `text` past it. At most `available` bytes are read, and none past a byte that is no
// continuation byte (the NUL after a text stops a sequence as any such byte does).
unsigned NarrowNextUtf8(const unsigned char*& text, size_t available) {
    size_t length = 0;
    const uint32_t code = DecodeUtf8Sequence(text, available, length);
    text += length;
    return static_cast<unsigned char>(NarrowCodePoint(code));
}

} // namespace

bool NarrowsTo(const unsigned short* text, int length, const char* expected, int limit) noexcept {
    if (text == nullptr || length < 0) {
        length = 0;
    }
    const auto* want = reinterpret_cast<const unsigned char*>(expected);
    int i = 0;
    int written = 0;
    for (; i < length && written < limit; ++written) {
        unsigned byte = text[i++];
        if (byte == 0) {
            break;
        }
        if (byte > 0xFF) {
            if (IsHighSurrogate(byte) && i < length && IsLowSurrogate(text[i])) {
                ++i;
            }
            byte = '?';
        }
        if (want[written] != byte) {
            return false;
        }
    }
    return want[written] == 0;
}

int NarrowUtf8Until(char* dest, const char*& text, char stop, int limit) noexcept {
    const auto* next = reinterpret_cast<const unsigned char*>(text);
    const auto end = static_cast<unsigned char>(stop);
    int written = 0;
    while (written < limit) {
        const unsigned byte = *next;
        // ASCII (but the NUL), most of a name or value, stays as it is.
        if (byte - 1u < 0x7Fu && byte != end) {
            dest[written++] = static_cast<char>(byte);
            ++next;
        } else if (byte == 0 || byte == end) {
            break;
        } else {
            dest[written++] = static_cast<char>(NarrowNextUtf8(next, 4));
        }
    }
    dest[written] = '\0';
    text = reinterpret_cast<const char*>(next);
    return written;
}

bool Utf8NarrowsTo(const char* text, size_t length, const char* expected, int limit) noexcept {
    const auto* next = reinterpret_cast<const unsigned char*>(text);
    const auto* end = next + length;
    const auto* want = reinterpret_cast<const unsigned char*>(expected);
    int written = 0;
    for (; written < limit && next < end; ++written) {
        unsigned byte = *next;
        if (byte == 0) {
            break;
        }
        if (byte < 0x80) {
            ++next;
        } else {
            byte = NarrowNextUtf8(next, static_cast<size_t>(end - next));
        }
        if (byte != want[written]) {
            return false;
        }
    }
    return want[written] == 0;
}

int BoundedLength(const unsigned short* text, int limit) noexcept {
    int length = 0;
    if (text != nullptr) {
        while (length < limit && text[length] != 0) {
            ++length;
        }
    }
    return length;
}

} // namespace text
} // namespace qorutils
