#include "platform/SAXTextPiece.h"

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

unsigned short* SAXTextPiece::convertedWide(int& length) {
    convertGathered();
    m_wide[m_units] = 0;
    length = static_cast<int>(m_units);
    return m_wide;
}

char* SAXTextPiece::convertedNarrow(int& length) {
    convertGathered();
    m_narrow[m_bytes] = '\0';
    length = static_cast<int>(m_bytes);
    return m_narrow;
}

} // namespace detail
} // namespace MSXML2
