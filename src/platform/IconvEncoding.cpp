#include "platform/IconvEncoding.h"

#include "log/ForkLock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include <iconv.h>

namespace MSXML2 {
namespace detail {
namespace {

constexpr int kInvalid = -1;
// Enough for the set's table to be built; a set that needs more probes is refused.
constexpr long kProbeBudget = 1L << 20;

// Documents labelled with these multi-byte sets are written in a superset of them, which iconv
// knows under another name: its strict tables would refuse the superset's characters (and read
// Shift_JIS's backslash and tilde as yen and overline).
struct Superset {
    const char* label;
    const char* set;
};
constexpr Superset kSupersets[] = {
    {"Shift_JIS", "CP932"}, {"SJIS", "CP932"},    {"MS_Kanji", "CP932"}, {"csShiftJIS", "CP932"},
    {"EUC-KR", "CP949"},    {"csEUCKR", "CP949"}, {"GB2312", "CP936"},   {"csGB2312", "CP936"},
    {"Big5", "CP950"},      {"csBig5", "CP950"},
};

// Whether two labels are equal ignoring the case of ASCII letters. strcasecmp would follow the
// thread's locale, in which 'I' and 'i' need not be each other's case (Turkish).
bool SameLabel(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 'A' && byte <= 'Z' ? byte | 0x20 : byte;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The name under which iconv reads a document labelled `label`; labels ignore case.
const char* SetToRead(const char* label) {
    for (const Superset& superset : kSupersets) {
        if (SameLabel(label, superset.label)) {
            return superset.set;
        }
    }
    return label;
}

enum class Probe {
    Character,  // the bytes are exactly one character
    Incomplete, // the bytes begin a longer sequence
    Invalid,    // the bytes are no character of the set
    Unusable    // the set shifts state or misbehaves: it cannot be described to expat
};

// Opening and closing a descriptor may load or unload the set's module. Readings on other
// threads do so one at a time: the C library guards its modules too, but with locks that a
// thread checker does not see, and not every C library does. Constant-initialised and never
// torn down, it serves readings from a host's exit handlers too. A fork waits for it, so that a
// child can read such a set.
qorutils::ForkLock g_iconvModules;
[[maybe_unused]] const int g_forkHandlers = qorutils::WaitAtFork<g_iconvModules>();

// One iconv conversion descriptor from the named set to UTF-32LE.
class IconvDecoder {
public:
    explicit IconvDecoder(const char* name) {
        const qorutils::ForkLock::Guard lock(g_iconvModules);
        m_cd = iconv_open("UTF-32LE", name);
        m_openError = isOpen() ? 0 : errno;
    }
    ~IconvDecoder() {
        if (isOpen()) {
            const qorutils::ForkLock::Guard lock(g_iconvModules);
            iconv_close(m_cd);
        }
    }
    IconvDecoder(const IconvDecoder&) = delete;
    IconvDecoder& operator=(const IconvDecoder&) = delete;

    bool isOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Not opened for want of memory, rather than for a set that iconv does not know.
    bool openOutOfMemory() const { return m_openError == ENOMEM; }

    // Converts the bytes alone, from the initial shift state.
    Probe probe(const unsigned char* bytes, size_t count, int& code) {
        ++m_probes;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
        size_t inLeft = count;
        unsigned char out[16];
        char* outPtr = reinterpret_cast<char*>(out);
        size_t outLeft = sizeof(out);
        if (iconv(m_cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            return errno == EINVAL   ? Probe::Incomplete
                   : errno == EILSEQ ? Probe::Invalid
                                     : Probe::Unusable;
        }
        // Some sets hold a character back to combine it with the next one: flush it.
        if (iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            return Probe::Unusable;
        }
        const size_t produced = sizeof(out) - outLeft;
        if (produced == 0) {
            return Probe::Unusable;
        }
        if (produced != 4) {
            return Probe::Invalid;
        }
        const uint32_t value = uint32_t{out[0]} | uint32_t{out[1]} << 8 | uint32_t{out[2]} << 16 |
                               uint32_t{out[3]} << 24;
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return Probe::Invalid;
        }
        code = static_cast<int>(value);
        return Probe::Character;
    }

    bool overBudget() const { return m_probes > kProbeBudget; }

private:
    iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
    int m_openError = 0;
    long m_probes = 0;
};

// A multi-byte set's tables: expat's map of single bytes, the sequence length of each first
// byte, and every two-byte character looked up in advance.
struct SetTables {
    int map[256] = {};
    int lengths[256] = {};
    int pairs[size_t{1} << 16] = {};
};

// The tables of the first few multi-byte sets that documents name, kept for the process:
// building them probes iconv for every two-byte sequence, milliseconds that a set of small
// documents would otherwise pay for each. Static storage, each slot filled once and never
// freed, so that readings on other threads, in a forked child or at exit find it whole: a
// slot is read without a lock once it is ready (acquire). Slots are claimed and filled under
// the modules' lock, so that two threads that built the same set at once keep it once, and a
// fork never finds a slot half filled. A set that finds no slot builds its tables for its
// parse alone.
enum KeptState { kFree, kFilling, kReady };
constexpr size_t kKeptNameLimit = 63;
struct KeptSet {
    std::atomic<int> state{kFree};
    char name[kKeptNameLimit + 1] = {};
    SetTables tables;
};
KeptSet g_keptSets[4];

const SetTables* KeptTables(const char* name) {
    for (KeptSet& kept : g_keptSets) {
        if (kept.state.load(std::memory_order_acquire) == kReady && SameLabel(kept.name, name)) {
            return &kept.tables;
        }
    }
    return nullptr;
}

void Keep(const char* name, const SetTables& tables) {
    const size_t length = std::strlen(name);
    if (length > kKeptNameLimit) {
        return;
    }
    const qorutils::ForkLock::Guard lock(g_iconvModules);
    if (KeptTables(name) != nullptr) {
        return;
    }
    for (KeptSet& kept : g_keptSets) {
        int expected = kFree;
        if (kept.state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
            std::memcpy(kept.name, name, length + 1);
            kept.tables = tables;
            kept.state.store(kReady, std::memory_order_release);
            return;
        }
    }
}

// What expat keeps for a multi-byte set: its tables, built for this parse or kept, and iconv
// for the rare longer sequences.
struct MultiByteSet {
    explicit MultiByteSet(const char* name) : decoder(name) {}
    IconvDecoder decoder;
    std::unique_ptr<SetTables> built;
    const SetTables* tables = nullptr;
};

int convertSequence(void* data, const char* sequence) {
    auto* set = static_cast<MultiByteSet*>(data);
    const auto* bytes = reinterpret_cast<const unsigned char*>(sequence);
    const int length = set->tables->lengths[bytes[0]];
    if (length == 2) {
        return set->tables->pairs[size_t{bytes[0]} << 8 | bytes[1]];
    }
    int code = kInvalid;
    if (length < 2 ||
        set->decoder.probe(bytes, static_cast<size_t>(length), code) != Probe::Character) {
        return kInvalid;
    }
    return code;
}

void releaseSet(void* data) {
    delete static_cast<MultiByteSet*>(data);
}

// Result of measuring the sequences that begin with a prefix.
constexpr int kNoSequence = -1; // no character begins with the prefix
constexpr int kRefused = 0;     // lengths differ, shift state, or too long
constexpr int kNoMemory = -2;   // the table of two-byte characters could not be allocated

// Finds the length of the characters that begin with `prefix` (`depth` bytes so far). When
// `pairs` is given (a two-byte row), it records every two-byte character and invalid pair.
int measureSequences(IconvDecoder& decoder, unsigned char* prefix, size_t depth, int* pairs) {
    bool complete = false;
    bool incomplete = false;
    for (int next = 0; next < 256; ++next) {
        prefix[depth] = static_cast<unsigned char>(next);
        int code = kInvalid;
        const Probe probe = decoder.probe(prefix, depth + 1, code);
        if (probe == Probe::Unusable) {
            return kRefused;
        }
        complete = complete || probe == Probe::Character;
        incomplete = incomplete || probe == Probe::Incomplete;
        if (pairs != nullptr) {
            pairs[next] = probe == Probe::Character ? code : kInvalid;
        }
    }
    if (complete) {
        return incomplete ? kRefused : static_cast<int>(depth + 1);
    }
    if (depth + 1 >= 4 || decoder.overBudget()) {
        return incomplete ? kRefused : kNoSequence;
    }
    for (int next = 0; next < 256; ++next) {
        prefix[depth] = static_cast<unsigned char>(next);
        int code = kInvalid;
        if (decoder.probe(prefix, depth + 1, code) != Probe::Incomplete) {
            continue;
        }
        const int length = measureSequences(decoder, prefix, depth + 1, nullptr);
        if (length != kNoSequence) {
            return length;
        }
    }
    return kNoSequence;
}

// Measures a first byte that is no character alone; records its two-byte row if any.
int measureLead(MultiByteSet& set, unsigned char lead) {
    if (!set.built) {
        set.built.reset(new (std::nothrow) SetTables);
        if (!set.built) {
            return kNoMemory;
        }
    }
    unsigned char prefix[4] = {lead, 0, 0, 0};
    return measureSequences(set.decoder, prefix, 1, &set.built->pairs[size_t{lead} << 8]);
}

// Gives expat the set for its sequences; it frees it through releaseSet.
EncodingFill HandOver(std::unique_ptr<MultiByteSet> set, XML_Encoding* info) {
    info->data = set.release();
    info->convert = convertSequence;
    info->release = releaseSet;
    return EncodingFill::Filled;
}

// Fixes what a multi-byte set's single bytes read as. A byte below 0x80 that is a character is
// its ASCII character: documents in these sets are written so, whatever iconv's strict table
// says (yen for backslash). A byte from 0x80 that iconv passes through as the C1 control of
// the same value is no character of the set but a damaged or mislabelled document (Shift_JIS
// read as EUC-JP): it is refused.
void FixSingleBytes(int (&map)[256]) {
    for (int byte = 0; byte < 0x80; ++byte) {
        if (map[byte] >= 0) {
            map[byte] = byte;
        }
    }
    for (int byte = 0x80; byte < 0xA0; ++byte) {
        if (map[byte] == byte) {
            map[byte] = kInvalid;
        }
    }
}

} // namespace

bool NamesUtf8(std::string_view label) {
    return SameLabel(label, "UTF8");
}

EncodingFill FillIconvEncoding(const char* name, XML_Encoding* info) {
    // A slash would pass iconv options; an encoding name never has one.
    if (name == nullptr || *name == '\0' || std::strchr(name, '/') != nullptr) {
        return EncodingFill::Unknown;
    }
    const char* setName = SetToRead(name);
    std::unique_ptr<MultiByteSet> set(new (std::nothrow) MultiByteSet(setName));
    if (!set || set->decoder.openOutOfMemory()) {
        return EncodingFill::OutOfMemory;
    }
    if (!set->decoder.isOpen()) {
        return EncodingFill::Unknown;
    }
    if (const SetTables* kept = KeptTables(setName)) {
        std::memcpy(info->map, kept->map, sizeof kept->map);
        set->tables = kept;
        return HandOver(std::move(set), info);
    }
    // Markup must read as ASCII (expat checks every byte); testing '<' first refuses UTF-16,
    // UTF-32 and EBCDIC sets before any multi-byte probing.
    const unsigned char less = '<';
    int lessCode = kInvalid;
    if (set->decoder.probe(&less, 1, lessCode) != Probe::Character || lessCode != '<') {
        return EncodingFill::Unknown;
    }
    bool multiByte = false;
    for (int byte = 0; byte < 256; ++byte) {
        const auto single = static_cast<unsigned char>(byte);
        int code = kInvalid;
        switch (set->decoder.probe(&single, 1, code)) {
        case Probe::Character:
            // Expat takes single bytes up to U+FFFF only, and a byte from 0x80 for a character
            // of ASCII would take the role in markup that expat keeps for the ASCII byte (it
            // refuses the whole set for it): such a byte is refused where it is used.
            info->map[byte] = code <= 0xFFFF && (byte < 0x80 || code >= 0x80) ? code : kInvalid;
            break;
        case Probe::Invalid:
            info->map[byte] = kInvalid;
            break;
        case Probe::Incomplete: {
            const int length = measureLead(*set, single);
            if (length == kNoMemory) {
                return EncodingFill::OutOfMemory;
            }
            if (length == kRefused) {
                return EncodingFill::Unknown;
            }
            set->built->lengths[byte] = length;
            info->map[byte] = length == kNoSequence ? kInvalid : -length;
            multiByte = multiByte || length != kNoSequence;
            break;
        }
        case Probe::Unusable:
            return EncodingFill::Unknown;
        }
    }
    if (!multiByte) {
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return EncodingFill::Filled;
    }
    FixSingleBytes(info->map);
    std::memcpy(set->built->map, info->map, sizeof info->map);
    Keep(setName, *set->built);
    set->tables = set->built.get();
    return HandOver(std::move(set), info);
}

} // namespace detail
} // namespace MSXML2
