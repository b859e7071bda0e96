// The plain kernels: one character a step, the reference for the vector ones.
#include "text/KernelSets.h"
#include "text/Utf8.h"

#include <cstdint>

namespace qorutils {
namespace text {
namespace {

size_t Utf8ToUtf16(const char*& src, const char* end, unsigned short* dst, size_t capacity,
                   const char*) {
    size_t written = 0;
    while (src < end && written < capacity) {
        const auto lead = static_cast<unsigned char>(*src);
        if (lead < 0x80) {
            dst[written++] = lead;
            ++src;
            continue;
        }
        size_t length = 0;
        const uint32_t code = DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(src),
                                                 static_cast<size_t>(end - src), length);
        if (!PutCodePoint(code, dst, capacity, written)) {
            break;
        }
        src += length;
    }
    return written;
}

NarrowedRun NarrowUtf8(char* dest, const char*& src, const char* end, size_t capacity,
                       const char*) {
    NarrowedRun run{0, 0};
    while (src < end && run.units < capacity) {
        const auto lead = static_cast<unsigned char>(*src);
        if (lead < 0x80) {
            dest[run.bytes++] = static_cast<char>(lead);
            ++src;
            ++run.units;
            continue;
        }
        size_t length = 0;
        const uint32_t code = DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(src),
                                                 static_cast<size_t>(end - src), length);
        const size_t units = code < 0x10000 ? 1 : 2;
        if (capacity - run.units < units) {
            break;
        }
        dest[run.bytes++] = NarrowCodePoint(code);
        src += length;
        run.units += units;
    }
    return run;
}

int NarrowUtf16(char* dest, const unsigned short* text, int length, int limit) {
    int i = 0;
    int written = 0;
    while (i < length && written < limit) {
        const unsigned unit = text[i++];
        if (unit == 0) {
            break;
        }
        if (unit <= 0xFF) {
            dest[written++] = static_cast<char>(unit);
            continue;
        }
        StepOverPair(unit, text, length, i);
        dest[written++] = '?';
    }
    dest[written] = '\0';
    return written;
}

} // namespace

const TextKernels kPlainKernels = {"plain", &Utf8ToUtf16, &NarrowUtf8, &NarrowUtf16};

} // namespace text
} // namespace qorutils
