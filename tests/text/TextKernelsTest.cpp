// Every kernel set this processor runs converts as the plain one does, on texts made to trip a
// vector kernel: characters of every length and malformed sequences, at every offset from a
// block's edge, cut short by the text's end or by the room for units, with the buffer readable
// beyond the text or not.
#include "text/TextKernels.h"
#include "text/Narrow.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

using qorutils::text::kBlockSlack;
using qorutils::text::Narrow;
using qorutils::text::NarrowedRun;
using qorutils::text::TextKernels;
using qorutils::text::UsableTextKernels;

namespace {

// Characters of one to four bytes at the edges of their ranges, and malformed sequences:
// overlong forms, surrogates, beyond U+10FFFF, stray continuation bytes, cut-short sequences.
const std::vector<std::string> k_fragments = {
    "a",
    "\x7F",
    "\xC2\x80",
    "\xC3\xA9",
    "\xC3\xBF",
    "\xC4\x80",
    "\xDF\xBF",
    "\xE0\xA0\x80",
    "\xE2\x80\x94",
    "\xED\x9F\xBF",
    "\xEF\xBF\xBF",
    "\xF0\x90\x80\x80",
    "\xF0\x9F\x98\x80",
    "\xF4\x8F\xBF\xBF",
    "\xC0\x80",
    "\xC1\xBF",
    "\xE0\x80\x80",
    "\xE0\x9F\xBF",
    "\xED\xA0\x80",
    "\xF0\x8F\xBF\xBF",
    "\xF4\x90\x80\x80",
    "\xF5\x80\x80\x80",
    "\xFF",
    "\x80",
    "\xBF\xBF",
    "\xC3",
    "\xE2\x80",
    "\xF0\x9F\x98",
    "\xC3"
    "a",
    "\xE2\x80"
    "a",
    std::string("\0", 1),
};

// Each fragment after 0 to 70 ASCII bytes, at the end or before a few; then pairs of
// fragments; then texts of random fragments and runs of ASCII.
std::vector<std::string> Utf8Cases() {
    std::vector<std::string> cases = {""};
    for (const std::string& fragment : k_fragments) {
        for (size_t lead = 0; lead <= 70; ++lead) {
            cases.push_back(std::string(lead, 'x') + fragment);
            cases.push_back(std::string(lead, 'x') + fragment + "yz");
        }
        for (const std::string& second : k_fragments) {
            cases.push_back(fragment + second);
        }
    }
    std::mt19937 random(15);
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const size_t length = random() % 120;
        while (text.size() < length) {
            text += random() % 3 == 0 ? k_fragments[random() % k_fragments.size()]
                                      : std::string(random() % 20, static_cast<char>('A' + i % 26));
        }
        cases.push_back(text);
    }
    return cases;
}

// What one conversion gave: the text left, the units or bytes written, and their values.
struct Result {
    size_t consumed;
    size_t units;
    std::vector<unsigned> values;
    bool operator==(const Result& other) const {
        return consumed == other.consumed && units == other.units && values == other.values;
    }
};

void PrintTo(const Result& result, std::ostream* out) {
    *out << result.consumed << " bytes taken, " << result.units << " units:";
    for (unsigned value : result.values) {
        *out << ' ' << std::hex << value << std::dec;
    }
}

// The text in a buffer that holds kBlockSlack more bytes, of `filler`, readable or not.
Result Utf8ToUtf16(const TextKernels& kernels, const std::string& text, size_t capacity,
                   bool readable, char filler) {
    std::string buffer = text + std::string(kBlockSlack, filler);
    std::vector<unsigned short> out(capacity + kBlockSlack, 0xAAAA);
    const char* src = buffer.data();
    const char* end = src + text.size();
    const size_t units =
        kernels.utf8ToUtf16(src, end, out.data(), capacity, readable ? end + kBlockSlack : nullptr);
    return {static_cast<size_t>(src - buffer.data()), units,
            std::vector<unsigned>(out.begin(), out.begin() + static_cast<long>(units))};
}

Result NarrowUtf8(const TextKernels& kernels, const std::string& text, size_t capacity,
                  bool readable, char filler) {
    std::string buffer = text + std::string(kBlockSlack, filler);
    std::vector<char> out(capacity + kBlockSlack, '#');
    const char* src = buffer.data();
    const char* end = src + text.size();
    const NarrowedRun run =
        kernels.narrowUtf8(out.data(), src, end, capacity, readable ? end + kBlockSlack : nullptr);
    std::vector<unsigned> bytes;
    for (size_t i = 0; i < run.bytes; ++i) {
        bytes.push_back(static_cast<unsigned char>(out[i]));
    }
    return {static_cast<size_t>(src - buffer.data()), run.units, bytes};
}

// Narrows with one set of kernels, or with no set given through Narrow, which takes short
// texts without a kernel.
Result NarrowUtf16(const TextKernels* kernels, const std::vector<unsigned short>& text, int limit) {
    std::vector<char> out(static_cast<size_t>(limit) + 1, '#');
    const auto length = static_cast<int>(text.size());
    const int written = kernels != nullptr
                            ? kernels->narrowUtf16(out.data(), text.data(), length, limit)
                            : Narrow(out.data(), text.data(), length, limit);
    std::vector<unsigned> bytes;
    for (int i = 0; i <= written; ++i) {
        bytes.push_back(static_cast<unsigned char>(out[static_cast<size_t>(i)]));
    }
    return {0, static_cast<size_t>(written), bytes};
}

} // namespace

TEST(TextKernels, EveryKernelConvertsUtf8AsThePlainOne) {
    const std::vector<const TextKernels*> kernels = UsableTextKernels();
    ASSERT_EQ(std::string(kernels.front()->name), "plain");
    for (const std::string& text : Utf8Cases()) {
        // Room to spare, for all, for one unit less, for about half, for one unit, none, and
        // exactly one block of each width (a pair whose lead ends a block gives it one unit
        // more than its bytes).
        const size_t capacities[] = {text.size() + 100,
                                     text.size(),
                                     text.size() > 0 ? text.size() - 1 : 0,
                                     text.size() / 2 + 1,
                                     1,
                                     0,
                                     16,
                                     32};
        for (size_t capacity : capacities) {
            for (bool readable : {false, true}) {
                for (char filler : {'a', '\x80'}) {
                    const Result wide = Utf8ToUtf16(*kernels[0], text, capacity, readable, filler);
                    const Result narrow = NarrowUtf8(*kernels[0], text, capacity, readable, filler);
                    for (const TextKernels* set : kernels) {
                        SCOPED_TRACE(std::string(set->name) + " capacity " +
                                     std::to_string(capacity) + (readable ? " readable" : "") +
                                     " text of " + std::to_string(text.size()) + " bytes");
                        ASSERT_EQ(Utf8ToUtf16(*set, text, capacity, readable, filler), wide);
                        ASSERT_EQ(NarrowUtf8(*set, text, capacity, readable, filler), narrow);
                    }
                }
            }
        }
    }
}

TEST(TextKernels, EveryKernelNarrowsUtf16AsThePlainOne) {
    const std::vector<const TextKernels*> kernels = UsableTextKernels();
    const std::vector<unsigned short> fragments[] = {
        {'a'}, {0xFF}, {0x100}, {0}, {0xD83D, 0xDE00}, {0xD83D}, {0xDE00}, {0xD83D, 'a'}, {0xFFFF},
    };
    std::mt19937 random(15);
    for (int i = 0; i < 3000; ++i) {
        std::vector<unsigned short> text(random() % 40, static_cast<unsigned short>('a' + i % 26));
        const auto& fragment = fragments[random() % std::size(fragments)];
        text.insert(text.begin() + static_cast<long>(random() % (text.size() + 1)),
                    fragment.begin(), fragment.end());
        for (int limit : {static_cast<int>(text.size()), static_cast<int>(text.size() / 2), 0}) {
            const Result plain = NarrowUtf16(kernels[0], text, limit);
            for (const TextKernels* set : kernels) {
                SCOPED_TRACE(std::string(set->name) + " limit " + std::to_string(limit));
                ASSERT_EQ(NarrowUtf16(set, text, limit), plain);
            }
            SCOPED_TRACE("Narrow, limit " + std::to_string(limit));
            ASSERT_EQ(NarrowUtf16(nullptr, text, limit), plain);
        }
    }
}
