#include <QorUtils/attribute/FIAttribute.h>

#include "attribute/NumberText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using qorutils::kNumberTextSize;

static_assert(sizeof(FIAttribute) == 32, "the documented layout");

namespace {

constexpr int kFirstCapacity = 32;
// Capacities stay 32 times a power of two and within a signed 32-bit field.
constexpr size_t kMaxCapacity = size_t{1} << 30;
// Text assignment keeps up to 18 characters inline; AppendChar and a formatted real use the
// nineteenth place too.
constexpr size_t kMaxAssignedInline = 18;
constexpr size_t kMaxInline = 19;

bool IsKind(int type) {
    return type >= FIAttribute::FT_NULL && type <= FIAttribute::FT_LONG_TEXT;
}

bool IsText(FIAttribute::FT_TYPE type) {
    return type == FIAttribute::FT_SHORT_TEXT || type == FIAttribute::FT_LONG_TEXT;
}

// The text form of a value that owns no buffer, zero-terminated in out (kNumberTextSize
// bytes): a number as "%d" or "%.12lg" writes it, a short text as it is, anything else empty.
int SmallTextForm(const FIAttribute& value, char* out) {
    switch (value.GetType()) {
    case FIAttribute::FT_INTEGER:
        return qorutils::FormatInteger(value.ival(), out);
    case FIAttribute::FT_REAL:
        return qorutils::FormatReal(value.rval(), out);
    case FIAttribute::FT_SHORT_TEXT: {
        const size_t n = std::strlen(value.c_str());
        std::memcpy(out, value.c_str(), n + 1);
        return static_cast<int>(n);
    }
    default:
        out[0] = '\0';
        return 0;
    }
}

// -1, 0 or 1; a NaN on either side puts this value first.
int CompareReals(double mine, double theirs) {
    if (mine < theirs || mine != mine || theirs != theirs) {
        return -1;
    }
    return mine == theirs ? 0 : 1;
}

bool PointsInto(const char* p, const char* begin, size_t size) {
    const auto at = reinterpret_cast<uintptr_t>(p);
    const auto first = reinterpret_cast<uintptr_t>(begin);
    return at >= first && at - first < size;
}

} // namespace

FIAttribute::FIAttribute(const char* text) : FIAttribute() {
    *this = text;
}

FIAttribute::FIAttribute(const FIAttribute& other) : FIAttribute() {
    *this = other;
}

FIAttribute& FIAttribute::operator=(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    const size_t n = std::strlen(text);
    if (n <= kMaxAssignedInline && m_type != FT_LONG_TEXT) {
        std::memmove(m_short, text, n + 1);
        m_type = FT_SHORT_TEXT;
        return *this;
    }
    return AssignText(text, n);
}

FIAttribute& FIAttribute::operator=(const std::string& text) {
    return AssignText(text.c_str(), text.size());
}

FIAttribute& FIAttribute::operator=(int value) {
    Clear();
    m_type = FT_INTEGER;
    m_ival = value;
    return *this;
}

FIAttribute& FIAttribute::operator=(double value) {
    Clear();
    m_type = FT_REAL;
    m_rval = value;
    return *this;
}

FIAttribute& FIAttribute::operator=(const FIAttribute& other) {
    if (&other == this) {
        return *this;
    }
    Clear();
    switch (other.m_type) {
    case FT_INTEGER:
        m_ival = other.m_ival;
        break;
    case FT_REAL:
        m_rval = other.m_rval;
        break;
    case FT_SHORT_TEXT:
        std::memcpy(m_short, other.m_short, std::strlen(other.m_short) + 1);
        break;
    case FT_LONG_TEXT: {
        // The copy gets the source's capacity, not one fitted to its length.
        auto* buffer =
            static_cast<char*>(std::malloc(static_cast<size_t>(other.m_long.m_capacity)));
        if (buffer == nullptr) {
            return *this;
        }
        std::memcpy(buffer, other.m_long.m_buffer, static_cast<size_t>(other.m_long.m_length) + 1);
        m_long = {buffer, other.m_long.m_capacity, other.m_long.m_length};
        break;
    }
    default:
        return *this;
    }
    m_type = other.m_type;
    return *this;
}

FIAttribute& FIAttribute::Clear() {
    if (m_type == FT_LONG_TEXT) {
        std::free(m_long.m_buffer);
    }
    m_type = FT_NULL;
    return *this;
}

FIAttribute& FIAttribute::ChangeType(FT_TYPE type) {
    // An integer to its text, the conversion made most often, calls nothing and needs no stack
    // frame; every other one goes on in ChangeTypeSlowly.
    if (type != FT_SHORT_TEXT || m_type != FT_INTEGER) {
        return ChangeTypeSlowly(type);
    }
    // The number is read out before its text is written over it.
    const int value = m_ival;
    qorutils::FormatInteger(value, m_short);
    m_type = FT_SHORT_TEXT;
    return *this;
}

// Kept out of line so that ChangeType keeps no stack frame of its own.
[[gnu::noinline]] FIAttribute& FIAttribute::ChangeTypeSlowly(FT_TYPE type) {
    if (type == m_type || !IsKind(type) || !IsKind(m_type)) {
        return *this;
    }
    switch (type) {
    case FT_NULL:
        return Clear();
    case FT_INTEGER:
        return *this = ival();
    case FT_REAL:
        return *this = rval();
    case FT_SHORT_TEXT:
        // A long text never moves back inline.
        if (m_type == FT_REAL) {
            const double value = m_rval;
            qorutils::FormatReal(value, m_short);
        } else if (m_type == FT_NULL) {
            m_short[0] = '\0';
        } else {
            return *this;
        }
        m_type = FT_SHORT_TEXT;
        return *this;
    default:
        return MoveToNewBuffer();
    }
}

FIAttribute& FIAttribute::MoveToNewBuffer() {
    // The inline text is taken out before the long-text fields overwrite it.
    char text[kNumberTextSize];
    const int n = SmallTextForm(*this, text);
    auto* buffer = static_cast<char*>(std::malloc(kFirstCapacity));
    if (buffer == nullptr) {
        return *this;
    }
    std::memcpy(buffer, text, static_cast<size_t>(n) + 1);
    m_type = FT_LONG_TEXT;
    m_long = {buffer, kFirstCapacity, n};
    return *this;
}

double FIAttribute::rval() const {
    switch (m_type) {
    case FT_INTEGER:
        return m_ival;
    case FT_REAL:
        return m_rval;
    case FT_SHORT_TEXT:
    case FT_LONG_TEXT:
        return qorutils::ReadReal(c_str());
    default:
        return 0.0;
    }
}

int FIAttribute::ival() const {
    switch (m_type) {
    case FT_INTEGER:
        return m_ival;
    case FT_REAL:
        return qorutils::RealToInteger(m_rval);
    case FT_SHORT_TEXT:
    case FT_LONG_TEXT:
        return qorutils::ReadInteger(c_str());
    default:
        return 0;
    }
}

int FIAttribute::stvallen() const {
    if (IsText(m_type)) {
        return static_cast<int>(std::strlen(c_str()));
    }
    char text[kNumberTextSize];
    return SmallTextForm(*this, text);
}

char* FIAttribute::stval(char* const dest, int size) const {
    if (dest == nullptr || size < 1) {
        return dest;
    }
    if (m_type == FT_NULL) {
        dest[0] = '\0';
        return dest;
    }
    char text[kNumberTextSize];
    const char* source = c_str();
    if (source == nullptr) {
        SmallTextForm(*this, text);
        source = text;
    }
    // Copies at most size bytes and zero-fills the rest, then cuts at size - 1.
    std::strncpy(dest, source, static_cast<size_t>(size));
    dest[size - 1] = '\0';
    return dest;
}

int FIAttribute::length() const {
    switch (m_type) {
    case FT_SHORT_TEXT:
        return static_cast<int>(std::strlen(m_short));
    case FT_LONG_TEXT:
        return m_long.m_length;
    default:
        return 0;
    }
}

int FIAttribute::capacity() const {
    return m_type == FT_LONG_TEXT ? m_long.m_capacity : 0;
}

int FIAttribute::compare(const FIAttribute& other) const {
    if (!IsKind(m_type) || !IsKind(other.m_type)) {
        return -2;
    }
    switch (m_type) {
    case FT_NULL:
        if (other.m_type == FT_NULL) {
            return 0;
        }
        if (IsText(other.m_type)) {
            return other.c_str()[0] == '\0' ? 0 : -1;
        }
        return other.rval() == 0.0 ? 0 : -1;
    case FT_INTEGER:
    case FT_REAL:
        if (other.m_type == FT_NULL) {
            return -2;
        }
        if (IsText(other.m_type)) {
            // The text is read as this value's kind reads it: "%d" or "%lg".
            const double theirs = m_type == FT_INTEGER ? other.ival() : other.rval();
            return CompareReals(rval(), theirs);
        }
        return CompareReals(rval(), other.rval());
    default:
        if (!IsText(other.m_type)) {
            return -2;
        }
        // strcmp orders by unsigned byte value.
        const int order = std::strcmp(c_str(), other.c_str());
        return (order > 0) - (order < 0);
    }
}

FIAttribute& FIAttribute::Append(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    const size_t n = std::strlen(text);
    // A long text with room takes the text right here. The length is read as unsigned: a
    // sign-extending reload of a field just stored defeats the processor's store forwarding,
    // and appends come one after another. The terminator and the length go first: a text
    // taken from this value's own buffer ends before them.
    if (m_type == FT_LONG_TEXT) {
        const size_t length = static_cast<uint32_t>(m_long.m_length);
        if (length + n + 1 <= static_cast<uint32_t>(m_long.m_capacity)) {
            char* end = m_long.m_buffer + length;
            end[n] = '\0';
            m_long.m_length = static_cast<int32_t>(length + n);
            std::memmove(end, text, n);
            return *this;
        }
    }
    return AppendText(text, n);
}

FIAttribute& FIAttribute::Append(int value) {
    char text[kNumberTextSize];
    const int n = qorutils::FormatInteger(value, text);
    return AppendText(text, static_cast<size_t>(n));
}

FIAttribute& FIAttribute::Append(double value) {
    char text[kNumberTextSize];
    const int n = qorutils::FormatReal(value, text);
    return AppendText(text, static_cast<size_t>(n));
}

FIAttribute& FIAttribute::Append(const std::string& text) {
    return Append(text.c_str());
}

FIAttribute& FIAttribute::Append(FIAttribute& other) {
    ChangeType(FT_LONG_TEXT);
    if (m_type != FT_LONG_TEXT) {
        return *this;
    }
    switch (other.m_type) {
    case FT_INTEGER:
        return Append(other.m_ival);
    case FT_REAL:
        return Append(other.m_rval);
    case FT_SHORT_TEXT:
    case FT_LONG_TEXT:
        return Append(other.c_str());
    default:
        return *this;
    }
}

FIAttribute& FIAttribute::AppendCharSlowly(char c) {
    switch (m_type) {
    case FT_NULL:
        m_short[0] = '\0';
        m_type = FT_SHORT_TEXT;
        break;
    case FT_INTEGER:
    case FT_REAL:
        ChangeType(FT_SHORT_TEXT);
        break;
    case FT_SHORT_TEXT:
    case FT_LONG_TEXT:
        break;
    default:
        return *this;
    }
    if (m_type == FT_SHORT_TEXT) {
        const size_t n = std::strlen(m_short);
        if (n < kMaxInline) {
            m_short[n] = c;
            m_short[n + 1] = '\0';
            return *this;
        }
        ChangeType(FT_LONG_TEXT);
        if (m_type != FT_LONG_TEXT) {
            return *this;
        }
    }
    const size_t required = static_cast<size_t>(m_long.m_length) + 2;
    if (GrowTextBuffer(m_long.m_buffer, m_long.m_capacity, required)) {
        m_long.m_buffer[m_long.m_length++] = c;
        m_long.m_buffer[m_long.m_length] = '\0';
    }
    return *this;
}

void FIAttribute::FixXML() {
    if (!IsText(m_type)) {
        return;
    }
    const char* text = c_str();
    const char* found = std::strpbrk(text, "\"&<");
    if (found == nullptr) {
        return;
    }
    FIAttribute escaped;
    size_t expected = 0;
    for (; found != nullptr; found = std::strpbrk(text, "\"&<")) {
        const char* entity = *found == '"' ? "&quot;" : *found == '&' ? "&amp;" : "&lt;";
        const size_t segment = static_cast<size_t>(found - text);
        escaped.AppendText(text, segment);
        escaped.Append(entity);
        expected += segment + std::strlen(entity);
        // A result of 1 GiB or more cannot be held: the value stays as it was, and the count
        // stops here, far from wrapping.
        if (expected >= kMaxCapacity) {
            return;
        }
        text = found + 1;
    }
    if (*text != '\0') {
        const size_t rest = std::strlen(text);
        escaped.AppendText(text, rest);
        expected += rest;
    }
    // A heap that refused part of the work, or a rest too long to add, leaves the value as it
    // was.
    if (static_cast<size_t>(escaped.length()) != expected) {
        return;
    }
    // Taking over the buffer gives what assigning the result would: a long text with the
    // result's capacity.
    Clear();
    m_type = FT_LONG_TEXT;
    m_long = escaped.m_long;
    escaped.m_type = FT_NULL;
}

bool FIAttribute::GrowTextBuffer(char*& buffer, int& capacity, size_t required) {
    if (static_cast<size_t>(capacity) >= required) {
        return true;
    }
    if (required > kMaxCapacity) {
        return false;
    }
    size_t grown = capacity > 0 ? static_cast<size_t>(capacity) : kFirstCapacity;
    while (grown < required) {
        grown *= 2;
    }
    auto* moved = static_cast<char*>(std::realloc(buffer, grown));
    if (moved == nullptr) {
        return false;
    }
    buffer = moved;
    capacity = static_cast<int>(grown);
    return true;
}

FIAttribute& FIAttribute::AssignText(const char* text, size_t n) {
    if (n <= kMaxAssignedInline && m_type != FT_LONG_TEXT) {
        std::memmove(m_short, text, n + 1);
        m_type = FT_SHORT_TEXT;
        return *this;
    }
    if (n >= kMaxCapacity) {
        return *this;
    }
    // A 19-character inline text of this very value is about to be overwritten by the move
    // to a buffer; keep it aside.
    char inlineCopy[sizeof m_short];
    if (m_type == FT_SHORT_TEXT && IsInline(text)) {
        std::memcpy(inlineCopy, text, n + 1);
        text = inlineCopy;
    }
    ChangeType(FT_LONG_TEXT);
    if (m_type != FT_LONG_TEXT) {
        return *this;
    }
    // Text from this value's own buffer stays in place: n + 1 bytes already fit.
    if (!GrowTextBuffer(m_long.m_buffer, m_long.m_capacity, n + 1)) {
        return *this;
    }
    std::memmove(m_long.m_buffer, text, n);
    m_long.m_buffer[n] = '\0';
    m_long.m_length = static_cast<int32_t>(std::strlen(m_long.m_buffer));
    return *this;
}

// Kept out of line so that Append keeps a small stack frame.
[[gnu::noinline]] FIAttribute& FIAttribute::AppendText(const char* text, size_t n) {
    if (n >= kMaxCapacity) {
        return *this;
    }
    // Inline text of this very value is overwritten by the move to a buffer; it is copied
    // aside first.
    char inlineCopy[sizeof m_short];
    if (m_type != FT_LONG_TEXT) {
        if (m_type == FT_SHORT_TEXT && IsInline(text)) {
            std::memcpy(inlineCopy, text, n);
            text = inlineCopy;
        }
        ChangeType(FT_LONG_TEXT);
        if (m_type != FT_LONG_TEXT) {
            return *this;
        }
    }
    // The length is read as unsigned: a sign-extending reload of a field just stored defeats
    // the processor's store forwarding, and appends come one after another.
    const size_t length = static_cast<uint32_t>(m_long.m_length);
    if (length + n + 1 > static_cast<uint32_t>(m_long.m_capacity)) {
        // Text taken from this value's own buffer is found again after the buffer moves.
        const bool own = IsInBuffer(text);
        const size_t offset = own ? static_cast<size_t>(text - m_long.m_buffer) : 0;
        if (!GrowTextBuffer(m_long.m_buffer, m_long.m_capacity, length + n + 1)) {
            return *this;
        }
        if (own) {
            text = m_long.m_buffer + offset;
        }
    }
    char* buffer = m_long.m_buffer;
    std::memmove(buffer + length, text, n);
    buffer[length + n] = '\0';
    m_long.m_length = static_cast<int32_t>(length + n);
    return *this;
}

bool FIAttribute::IsInline(const char* p) const {
    return PointsInto(p, m_short, sizeof m_short);
}

bool FIAttribute::IsInBuffer(const char* p) const {
    return m_type == FT_LONG_TEXT &&
           PointsInto(p, m_long.m_buffer, static_cast<size_t>(m_long.m_capacity));
}
