// Text assignment for the library's own code that reads texts it must measure anyway (the
// reader's attribute values): it spares FIAttribute a second pass to measure the text, and
// the call that copies it. Private to the library.
#pragma once

#include <QorUtils/attribute/FIAttribute.h>

#include <cstddef>
#include <cstring>

namespace qorutils {

struct FIAttributeText {
    // The same as `value = text` for a text whose first zero byte is text[n].
    static FIAttribute& Assign(FIAttribute& value, const char* text, size_t n) {
        return value.AssignText(text, n);
    }

    // Text assignment keeps up to this many characters inline, with their terminator.
    static constexpr size_t kInline = 18;

    // For a null value: the same as `value = text` for a text of n <= kInline bytes whose
    // text[n] is its first zero byte. Most attribute values are such texts; the bytes and
    // the terminator go in one copy.
    static void AssignShort(FIAttribute& value, const char* text, size_t n) {
        std::memcpy(value.m_short, text, n + 1);
        value.m_type = FIAttribute::FT_SHORT_TEXT;
    }
};

} // namespace qorutils
