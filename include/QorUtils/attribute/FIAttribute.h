// FIAttribute: the one value type of the library, carried by every query, attribute and error
// text. A value is null, a 32-bit integer, a double or a text; short texts live inside the
// object, long texts in a heap buffer that the value owns and frees. Numbers become text with
// "%d" and "%.12lg" and are read back as "%d" and "%lg" read them. The pointer from c_str()
// stays valid until the next change of the value. A value is used by one thread at a time.
#pragma once

#include <QorUtils/Export.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qorutils {
struct FIAttributeText;
}

class QORUTILS_API FIAttribute {
public:
    // The kind of a value, held in 32 bits.
    enum FT_TYPE : int32_t {
        FT_NULL = 0,
        FT_INTEGER = 1,
        FT_REAL = 2,
        FT_SHORT_TEXT = 3,
        FT_LONG_TEXT = 4,
    };

    // The constructors of numbers, c_str() and the destructor's test for a buffer are inline:
    // they are the whole cost of the value in a number's or a short text's round trip.
    FIAttribute() : m_type(FT_NULL), m_short{} {}
    // A null pointer is taken as the empty text.
    FIAttribute(const char* text);
    FIAttribute(int value) : m_type(FT_INTEGER), m_ival(value) {}
    FIAttribute(double value) : m_type(FT_REAL), m_rval(value) {}
    // Deep copy: a long text gets its own buffer of the source's capacity.
    FIAttribute(const FIAttribute& other);
    ~FIAttribute() {
        if (m_type == FT_LONG_TEXT) {
            Clear();
        }
    }

    // Text assignment: up to 18 characters go inline unless the value already holds a long
    // text, which keeps its buffer (and capacity) for whatever text it is given.
    FIAttribute& operator=(const char* text);
    // The string's size decides inline or long, as for a const char* of that length; the
    // text ends at its first zero byte.
    FIAttribute& operator=(const std::string& text);
    FIAttribute& operator=(int value);
    FIAttribute& operator=(double value);
    // Deep copy; assigning a value to itself changes nothing.
    FIAttribute& operator=(const FIAttribute& other);

    // Releases a long-text buffer; the value becomes null.
    FIAttribute& Clear();
    // Converts the value in place; a target outside FT_NULL..FT_LONG_TEXT changes nothing.
    // A long text converted to FT_SHORT_TEXT stays FT_LONG_TEXT.
    FIAttribute& ChangeType(FT_TYPE type);

    FT_TYPE GetType() const { return m_type; }
    bool isNull() const { return m_type == FT_NULL; }
    // The text of a short or long text; a null pointer for null values and numbers.
    const char* c_str() const {
        return m_type == FT_SHORT_TEXT  ? m_short
               : m_type == FT_LONG_TEXT ? m_long.m_buffer
                                        : nullptr;
    }
    // The value read as a real or an integer; a null value and a text without a number give 0.
    double rval() const;
    int ival() const;
    // Length of the value's text form (numbers are formatted); 0 for a null value.
    int stvallen() const;
    // Copies the text form into dest (size bytes, size >= 1), cut to size - 1 characters and
    // zero-filled; returns dest. A null dest or a size below 1 writes nothing.
    char* stval(char* const dest, int size) const;
    // Long text: bytes used before the terminator and bytes allocated. Short text: its length
    // and 0. Any other kind: 0 and 0.
    int length() const;
    int capacity() const;

    // -1, 0 or 1 for before, equal, after; -2 when the kinds do not compare. The table is not
    // symmetric: a number converts a text to its own kind, a text against a number gives -2.
    // Numbers compare as reals; a NaN on either side gives -1.
    int compare(const FIAttribute& other) const;

    // Each Append leaves the value FT_LONG_TEXT, also when nothing is appended.
    FIAttribute& Append(const char* text);
    FIAttribute& Append(int value);
    FIAttribute& Append(double value);
    FIAttribute& Append(const std::string& text);
    // Appends the other value's text form; a null value appends nothing. `other` may be this
    // very value, which doubles its text.
    FIAttribute& Append(FIAttribute& other);
    // Keeps the text inline while it has at most 19 characters. A long text with room left
    // takes the character right here; everything else goes through AppendCharSlowly.
    FIAttribute& AppendChar(char c) {
        if (m_type == FT_LONG_TEXT) {
            // Fields read once, as unsigned: a store through the buffer could alias them, and
            // a sign-extending reload defeats the processor's store forwarding (3x slower).
            const auto length = static_cast<uint32_t>(m_long.m_length);
            if (length + 2 <= static_cast<uint32_t>(m_long.m_capacity)) {
                char* buffer = m_long.m_buffer;
                buffer[length] = c;
                buffer[length + 1] = '\0';
                m_long.m_length = static_cast<int32_t>(length + 1);
                return *this;
            }
        }
        return AppendCharSlowly(c);
    }
    // Escapes '"', '&' and '<' as XML entities; a text without them is left exactly as it is.
    void FixXML();

private:
    // The library's own readers assign texts whose length they already know through it.
    friend struct qorutils::FIAttributeText;

    // Doubles capacity from its current value (32 for a new buffer) until it holds `required`
    // bytes, then reallocates buffer to it, keeping its contents. Returns false, changing
    // nothing, when the heap refuses or the size would pass 1 GiB.
    static bool GrowTextBuffer(char*& buffer, int& capacity, size_t required);

    FIAttribute& AppendCharSlowly(char c);
    FIAttribute& ChangeTypeSlowly(FT_TYPE type);
    // A null value, a number or a short text becomes a long text in a new 32-byte buffer.
    FIAttribute& MoveToNewBuffer();
    // Text assignment of n bytes (text[n] is a zero byte) and appending of n bytes.
    FIAttribute& AssignText(const char* text, size_t n);
    FIAttribute& AppendText(const char* text, size_t n);

    // A long text: m_buffer is malloc'ed, its capacity 32 times a power of two, and m_length
    // the position of the terminator (where the next appended text goes).
    struct LongText {
        char* m_buffer;
        int32_t m_capacity;
        int32_t m_length;
    };

    // Whether p points into the inline text or the long-text buffer of this very value.
    bool IsInline(const char* p) const;
    bool IsInBuffer(const char* p) const;

    FT_TYPE m_type;
    // One storage area shared by the kinds: FT_SHORT_TEXT keeps up to 19 characters and the
    // terminator inline in m_short; only FT_LONG_TEXT owns memory. Eight-byte aligned on every
    // target, 32-bit x86 too, which aligns a double inside a class to four bytes.
    union alignas(8) {
        int32_t m_ival;
        double m_rval;
        char m_short[20];
        LongText m_long;
    };
};
