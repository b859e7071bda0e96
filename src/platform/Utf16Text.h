// UTF-8 to UTF-16 conversion for the SAX reader, and the growable UTF-16 buffer that its
// callbacks fill. Expat hands out UTF-8; the SAX interfaces take UTF-16 code units.
// Nothing here throws: a buffer that cannot grow reports it by value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace MSXML2 {
namespace detail {

// The block in which ASCII is widened: a text that lies in a buffer readable this far beyond
// its end, converted into room this large beyond `capacity`, is widened in whole blocks.
constexpr size_t kWideningBlock = 16;

// Converts UTF-8 from `src` up to `end` into at most `capacity` code units at `dst`, and
// advances `src` past what was converted. A character that does not fit whole (a surrogate
// pair needs two units) is left for the next call. A malformed byte becomes U+FFFD.
// Returns the number of code units written. With `readable` (at or after `end`), the bytes up
// to it may be read and `dst` has room for kWideningBlock - 1 units beyond `capacity`, whose
// contents are then undefined.
size_t ConvertUtf8ToUtf16(const char*& src, const char* end, unsigned short* dst, size_t capacity,
                          const char* readable = nullptr);

// Decodes one multi-byte sequence at `src` (its first byte is 0x80 or above), reading no
// further than `available` bytes nor past a byte that is no continuation byte (so a
// NUL-terminated text is never overrun). Returns the code point and sets `length` to the
// bytes used; a malformed sequence gives U+FFFD and 1.
uint32_t DecodeUtf8Sequence(const unsigned char* src, size_t available, size_t& length);

// Whether the `length` bytes at `text` are all ASCII; reads none beyond them.
inline bool IsAscii(const char* text, size_t length) noexcept {
    constexpr uint64_t k_high = 0x8080808080808080u;
    uint64_t bits = 0;
    if (length >= 8) {
        for (size_t i = 0; i + 8 <= length; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, text + i, 8);
            bits |= word;
        }
        uint64_t last = 0;
        std::memcpy(&last, text + length - 8, 8);
        return ((bits | last) & k_high) == 0;
    }
    if (length >= 4) {
        uint32_t first = 0;
        uint32_t last = 0;
        std::memcpy(&first, text, 4);
        std::memcpy(&last, text + length - 4, 4);
        return ((first | last) & 0x80808080u) == 0;
    }
    for (size_t i = 0; i < length; ++i) {
        bits |= static_cast<unsigned char>(text[i]);
    }
    return (bits & 0x80u) == 0;
}

// The number of characters (code points) in well-formed UTF-8.
size_t CountUtf8Characters(const char* src, size_t size);

// A reusable run of UTF-16 code units. Its storage only grows, and only inside reserve(), so
// pointers into it stay valid until the next reserve() or clear() that is followed by growth.
class Utf16Buffer {
public:
    Utf16Buffer() = default;
    ~Utf16Buffer() { std::free(m_data); }
    Utf16Buffer(const Utf16Buffer&) = delete;
    Utf16Buffer& operator=(const Utf16Buffer&) = delete;

    // Makes room for `extra` more units; null when memory runs out.
    unsigned short* reserve(size_t extra);
    void commit(size_t count) { m_size += count; }
    void clear() { m_size = 0; }
    // Forgets what follows `size` units.
    void truncate(size_t size) {
        if (size < m_size) {
            m_size = size;
        }
    }
    unsigned short* data() const { return m_data; }
    size_t size() const { return m_size; }

    // Appends UTF-8 text up to its NUL or the `stop` byte, and a NUL; leaves `text` at the
    // byte where it stopped. Returns the offset of the text, or -1 when memory runs out; the
    // stored text's length is size() - offset - 1 afterwards.
    long appendUtf8(const char*& text, char stop = '\0');

private:
    // Texts up to this many bytes that are ASCII are converted in one scan.
    static constexpr size_t kShortText = 32;

    unsigned short* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace detail
} // namespace MSXML2
