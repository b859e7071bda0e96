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

    // For a null value: the same as `value = text` when `text` is ASCII and short enough to go
    // inline, and true; otherwise false, and the value stays null. Most attribute values are
    // such texts: they are measured and copied in one pass, straight into the value (a copy
    // through a buffer would read back bytes just stored one at a time, which stalls).
    static bool AssignShortAscii(FIAttribute& value, const char* text) {
        // Text assignment keeps up to 18 characters inline, with their terminator.
        constexpr size_t kInline = 18;
        if (value.m_type != FIAttribute::FT_NULL) {
            return false;
        }
        for (size_t i = 0; i <= kInline; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            value.m_short[i] = static_cast<char>(byte);
            if (byte - 1u >= 0x7Fu) {
                if (byte != 0) {
                    return false;
                }
                value.m_type = FIAttribute::FT_SHORT_TEXT;
                return true;
            }
        }
        return false;
    }
};

} // namespace qorutils
