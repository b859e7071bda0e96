// Fuzz target: the text kernels against the plain ones on the same bytes. The input's first
// bytes choose the room for units, whether the buffer is readable past the text's end and what
// fills it there; the rest is the text, taken as UTF-8 for the conversion to UTF-16 and for
// narrowing, and as UTF-16 code units for narrowing those. Every kernel set this processor
// runs, and Narrow with its path for short texts, must give what the plain set gives: the same
// units or bytes, the same text consumed. The text, taken as a file name, must also come back
// byte for byte through UTF-16.
#include "FuzzSupport.h"

#include "text/ByteText.h"
#include "text/Narrow.h"
#include "text/TextKernels.h"

#include <vector>

namespace {

using qorutils::text::kBlockSlack;
using qorutils::text::NarrowedRun;
using qorutils::text::TextKernels;

struct Conversion {
    size_t consumed;
    std::vector<unsigned> out;
    bool operator==(const Conversion& other) const {
        return consumed == other.consumed && out == other.out;
    }
};

Conversion Widen(const TextKernels& kernels, const std::string& buffer, size_t size,
                 size_t capacity, bool readable) {
    std::vector<unsigned short> out(capacity + kBlockSlack);
    const char* src = buffer.data();
    const char* end = src + size;
    const size_t units =
        kernels.utf8ToUtf16(src, end, out.data(), capacity, readable ? end + kBlockSlack : nullptr);
    FUZZ_CHECK(units <= capacity && src <= end);
    return {static_cast<size_t>(src - buffer.data()),
            std::vector<unsigned>(out.begin(), out.begin() + static_cast<long>(units))};
}

Conversion Narrow(const TextKernels& kernels, const std::string& buffer, size_t size,
                  size_t capacity, bool readable) {
    std::vector<char> out(capacity + kBlockSlack);
    const char* src = buffer.data();
    const char* end = src + size;
    const NarrowedRun run =
        kernels.narrowUtf8(out.data(), src, end, capacity, readable ? end + kBlockSlack : nullptr);
    FUZZ_CHECK(run.units <= capacity && run.bytes <= run.units && src <= end);
    Conversion result{static_cast<size_t>(src - buffer.data()), {}};
    for (size_t i = 0; i < run.bytes; ++i) {
        result.out.push_back(static_cast<unsigned char>(out[i]));
    }
    result.out.push_back(static_cast<unsigned>(run.units));
    return result;
}

// Through one set of kernels, or through qorutils::text::Narrow (short texts without a kernel)
// when none is given.
Conversion NarrowWide(const TextKernels* kernels, const std::vector<unsigned short>& units,
                      int limit) {
    std::vector<char> out(static_cast<size_t>(limit) + 1);
    const auto length = static_cast<int>(units.size());
    const int written = kernels != nullptr
                            ? kernels->narrowUtf16(out.data(), units.data(), length, limit)
                            : qorutils::text::Narrow(out.data(), units.data(), length, limit);
    FUZZ_CHECK(written >= 0 && written <= limit && out[static_cast<size_t>(written)] == '\0');
    Conversion result{static_cast<size_t>(written), {}};
    for (int i = 0; i < written; ++i) {
        result.out.push_back(static_cast<unsigned char>(out[static_cast<size_t>(i)]));
    }
    return result;
}

// Bytes through UTF-16 and back, as file names go: the bytes up to their first NUL, cut only
// where the next character would not fit in `limit`.
void CheckBytesSurvive(const std::string& text, int limit) {
    std::vector<unsigned short> units(text.size() + 1);
    const size_t count = qorutils::text::Utf16FromBytes(text.data(), text.size(), units.data());
    FUZZ_CHECK(count <= text.size());
    const std::string whole = text.substr(0, text.find('\0'));
    std::vector<char> out(static_cast<size_t>(limit) + 1);
    const int written =
        qorutils::text::BytesFromUtf16(out.data(), units.data(), static_cast<int>(count), limit);
    FUZZ_CHECK(written >= 0 && written <= limit && out[static_cast<size_t>(written)] == '\0');
    const auto bytes = static_cast<size_t>(written);
    FUZZ_CHECK(whole.compare(0, bytes, out.data(), bytes) == 0);
    FUZZ_CHECK(bytes == whole.size() || written > limit - 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorfuzz::Input input(data, size);
    const unsigned chosen = input.Byte() | static_cast<unsigned>(input.Byte()) << 8;
    const bool readable = input.Bit();
    const char filler = static_cast<char>(input.Byte());
    std::string text;
    while (!input.empty()) {
        text += static_cast<char>(input.Byte());
    }
    // Room for more than the text, or as much as the first bytes chose.
    const size_t capacity = chosen == 0 ? text.size() + 64 : chosen - 1;
    std::string buffer = text + std::string(kBlockSlack, filler);
    std::vector<unsigned short> units(text.size() / 2);
    if (!units.empty()) {
        std::memcpy(units.data(), text.data(), units.size() * 2);
    }
    const int limit = static_cast<int>(std::min<size_t>(capacity, units.size() + 1));

    const std::vector<const TextKernels*> kernels = qorutils::text::UsableTextKernels();
    const TextKernels& plain = *kernels.front();
    // The room chosen, and room for exactly one block of each width the kernels take, where a
    // block's units meet the room.
    for (const size_t room : {capacity, size_t{16}, size_t{32}}) {
        const Conversion widened = Widen(plain, buffer, text.size(), room, readable);
        const Conversion narrowed = Narrow(plain, buffer, text.size(), room, readable);
        for (const TextKernels* set : kernels) {
            FUZZ_CHECK(Widen(*set, buffer, text.size(), room, readable) == widened);
            FUZZ_CHECK(Narrow(*set, buffer, text.size(), room, readable) == narrowed);
        }
    }
    const Conversion narrowedWide = NarrowWide(&plain, units, limit);
    FUZZ_CHECK(NarrowWide(nullptr, units, limit) == narrowedWide);
    for (const TextKernels* set : kernels) {
        FUZZ_CHECK(NarrowWide(set, units, limit) == narrowedWide);
    }
    CheckBytesSurvive(text, static_cast<int>(text.size()));
    CheckBytesSurvive(text, limit);
    return 0;
}
