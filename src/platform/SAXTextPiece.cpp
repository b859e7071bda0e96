#include "platform/SAXTextPiece.h"

#include "text/Utf8.h"

namespace MSXML2 {
namespace detail {

SAXTextPiece::SAXTextPiece(bool narrowed)
    : m_kernels(qorutils::text::ActiveTextKernels()), m_narrowed(narrowed) {}

void SAXTextPiece::convertGathered() {
    const size_t gathered = m_gathered;
    m_gathered = 0;
    m_gatherLimit = 0;
    if (gathered == 0) {
        return;
    }
    const char* next = m_utf8;
    add(next, m_utf8 + gathered, m_utf8 + gathered + qorutils::text::kBlockSlack);
}

void SAXTextPiece::add(const char*& next, const char* end, const char* readable) {
    if (m_gatherLimit != 0) {
        convertGathered();
    }
    const size_t room = kUnits - m_units;
    if (m_narrowed) {
        const qorutils::text::NarrowedRun run =
            m_kernels.narrowUtf8(m_narrow + m_bytes, next, end, room, readable);
        m_bytes += run.bytes;
        m_units += run.units;
    } else {
        m_units += m_kernels.utf8ToUtf16(next, end, m_wide + m_units, room, readable);
    }
}

unsigned short* SAXTextPiece::wide(int& length) {
    convertGathered();
    m_wide[m_units] = 0;
    length = static_cast<int>(m_units);
    return m_wide;
}

// A short piece gathered whole and all ASCII (the indentation between elements, a few words)
// is its own narrowed text.
char* SAXTextPiece::narrow(int& length) {
    constexpr size_t kShort = 32;
    if (m_gatherLimit != 0 && m_gathered <= kShort &&
        qorutils::text::IsAsciiWithin32(m_utf8, m_gathered)) {
        m_utf8[m_gathered] = '\0';
        length = static_cast<int>(m_gathered);
        return m_utf8;
    }
    convertGathered();
    m_narrow[m_bytes] = '\0';
    length = static_cast<int>(m_bytes);
    return m_narrow;
}

} // namespace detail
} // namespace MSXML2
