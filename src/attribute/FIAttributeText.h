// Text assignment for the library's own code that reads texts it must measure anyway (the
// reader's attribute values): it spares FIAttribute a second pass to measure the text, and
// the call that copies it. Private to the library.
#pragma once

#include <QorUtils/attribute/FIAttribute.h>

#include <cstddef>

namespace qorutils {

struct FIAttributeText {
    // The same as `value = text` for a text whose first zero byte is text[n].
    static FIAttribute& Assign(FIAttribute& value, const char* text, size_t n) {
        return value.AssignText(text, n);
    }

    // Text assignment keeps up to this many characters inline, with their terminator.
    static constexpr size_t kInline = 18;

    // For a null value: the same as `value = text` when `text` is ASCII, at most kInline bytes
    // and its NUL; false, the value left null, otherwise. The bytes are copied as they are
    // checked, in one pass, for the short texts of most attribute values.
    static bool AssignShortAscii(FIAttribute& value, const char* text) {
        unsigned bits = 0;
        for (size_t i = 0; i <= kInline; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            value.m_short[i] = static_cast<char>(byte);
            if (byte == 0) {
                if (bits >= 0x80) {
                    return false;
                }
                value.m_type = FIAttribute::FT_SHORT_TEXT;
                return true;
            }
            bits |= byte;
        }
        return false;
    }
};

} // namespace qorutils
