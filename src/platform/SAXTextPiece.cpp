#include "platform/SAXTextPiece.h"

namespace MSXML2 {
namespace detail {

void SAXTextPiece::add(const char*& next, const char* end, const char* readable) {
    if (m_narrowed) {
        const qorutils::text::NarrowedRun run =
            qorutils::text::NarrowUtf8Run(m_narrow + m_bytes, next, end, room(), readable);
        m_bytes += run.bytes;
        m_units += run.units;
    } else {
        m_units +=
            qorutils::text::ConvertUtf8ToUtf16(next, end, m_wide + m_units, room(), readable);
    }
}

} // namespace detail
} // namespace MSXML2
