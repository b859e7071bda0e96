#include "text/Utf8.h"

namespace qorutils {
namespace text {

uint32_t DecodeUtf8Sequence(const unsigned char* src, size_t available, size_t& length) {
    const unsigned char lead = src[0];
    length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (available >= 2 && IsContinuation(src[1])) {
            length = 2;
            return (uint32_t{lead} & 0x1F) << 6 | (src[1] & 0x3F);
        }
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        // Overlong forms (E0 below A0) and surrogates (ED from A0) are not characters.
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        if (available >= 3 && src[1] >= low && src[1] <= high && IsContinuation(src[2])) {
            length = 3;
            return (uint32_t{lead} & 0x0F) << 12 | (uint32_t{src[1]} & 0x3F) << 6 | (src[2] & 0x3F);
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        if (available >= 4 && src[1] >= low && src[1] <= high && IsContinuation(src[2]) &&
            IsContinuation(src[3])) {
            length = 4;
            return (uint32_t{lead} & 0x07) << 18 | (uint32_t{src[1]} & 0x3F) << 12 |
                   (uint32_t{src[2]} & 0x3F) << 6 | (src[3] & 0x3F);
        }
    }
    return kReplacementCharacter;
}

size_t CountUtf8Characters(const char* src, size_t size) {
    size_t count = 0;
    for (size_t i = 0; i < size; ++i) {
        count += !IsContinuation(static_cast<unsigned char>(src[i]));
    }
    return count;
}

} // namespace text
} // namespace qorutils
