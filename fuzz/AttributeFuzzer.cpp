// Fuzz target: FIAttribute driven through a sequence of operations on three values (every
// assignment, ChangeType to every kind and to none, every Append, AppendChar, FixXML, compare,
// copies, self-assignment, stval with small sizes), each checked against a plain model of the
// value: its kind, its bytes, its length and capacity, and the numbers and texts it reads as.
// The model formats and reads numbers with the C library itself ("%d", "%.12lg", "%lg"), so
// the value's own conversions are checked against it too.
#include "FuzzSupport.h"

#include <QorUtils/attribute/FIAttribute.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

using Kind = FIAttribute::FT_TYPE;
constexpr int k_slots = 3;
// Appending stops at this length: a value appended to itself doubles, and 400 doublings
// would not fit anywhere.
constexpr size_t k_maxLength = 4096;

std::string FormatInt(int value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

std::string FormatReal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.12lg", value);
    return text;
}

// "%d" reading, saturated to 32 bits by sign.
int ReadInt(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

// "%lg" reading; a decimal number before an "e" without digits ("1e+x") reads as that number,
// as strtod reads it and glibc's sscanf did up to 2.41 (2.43's fails the whole text).
double ReadReal(const std::string& text) {
    double value = 0.0;
    if (std::sscanf(text.c_str(), "%lg", &value) == 1) {
        return value;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && (*end == 'e' || *end == 'E') ? value : 0.0;
}

int RealToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double whole = std::trunc(value);
    return whole > INT_MAX ? INT_MAX : whole < INT_MIN ? INT_MIN : static_cast<int>(whole);
}

int Grow(int capacity, size_t required) {
    int grown = capacity > 0 ? capacity : 32;
    while (static_cast<size_t>(grown) < required) {
        grown *= 2;
    }
    return grown;
}

std::string UpToZero(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// What a value should be. A long text's bytes are the m_length bytes before its terminator:
// AppendChar('\0') can put a zero byte among them, which ends the visible text early.
struct Model {
    Kind kind = FIAttribute::FT_NULL;
    int ival = 0;
    double rval = 0.0;
    std::string bytes;
    int capacity = 0;

    bool IsText() const { return kind == FIAttribute::FT_SHORT_TEXT || IsLong(); }
    bool IsLong() const { return kind == FIAttribute::FT_LONG_TEXT; }
    std::string Text() const { return UpToZero(bytes); }
    std::string TextForm() const {
        switch (kind) {
        case FIAttribute::FT_INTEGER:
            return FormatInt(ival);
        case FIAttribute::FT_REAL:
            return FormatReal(rval);
        default:
            return Text();
        }
    }
    int ReadsAsInt() const {
        switch (kind) {
        case FIAttribute::FT_INTEGER:
            return ival;
        case FIAttribute::FT_REAL:
            return RealToInt(rval);
        default:
            return ReadInt(Text());
        }
    }
    double ReadsAsReal() const {
        switch (kind) {
        case FIAttribute::FT_INTEGER:
            return ival;
        case FIAttribute::FT_REAL:
            return rval;
        default:
            return ReadReal(Text());
        }
    }

    void SetNumber(int value) {
        *this = Model{};
        kind = FIAttribute::FT_INTEGER;
        ival = value;
    }
    void SetNumber(double value) {
        *this = Model{};
        kind = FIAttribute::FT_REAL;
        rval = value;
    }
    // A null value, a number or a short text moves into a new 32-byte buffer.
    void MakeLong() {
        if (!IsLong()) {
            const std::string text = TextForm();
            *this = Model{};
            kind = FIAttribute::FT_LONG_TEXT;
            bytes = text;
            capacity = 32;
        }
    }
    // Text assignment of `size` bytes of which the text is those before the first zero.
    void AssignText(const std::string& text, size_t size) {
        if (size <= 18 && !IsLong()) {
            *this = Model{};
            kind = FIAttribute::FT_SHORT_TEXT;
            bytes = UpToZero(text);
            return;
        }
        MakeLong();
        capacity = Grow(capacity, size + 1);
        bytes = UpToZero(text);
    }
    void AppendText(const std::string& text) {
        MakeLong();
        capacity = Grow(capacity, bytes.size() + text.size() + 1);
        bytes += text;
    }
    void ChangeType(int target) {
        if (target == kind || target < FIAttribute::FT_NULL || target > FIAttribute::FT_LONG_TEXT) {
            return;
        }
        switch (target) {
        case FIAttribute::FT_NULL:
            *this = Model{};
            return;
        case FIAttribute::FT_INTEGER:
            SetNumber(ReadsAsInt());
            return;
        case FIAttribute::FT_REAL:
            SetNumber(ReadsAsReal());
            return;
        case FIAttribute::FT_SHORT_TEXT:
            if (!IsLong()) {
                const std::string text = TextForm();
                *this = Model{};
                kind = FIAttribute::FT_SHORT_TEXT;
                bytes = text;
            }
            return;
        default:
            MakeLong();
        }
    }
    void AppendChar(char c) {
        if (!IsText()) {
            ChangeType(FIAttribute::FT_SHORT_TEXT);
        }
        if (kind == FIAttribute::FT_SHORT_TEXT) {
            if (bytes.size() < 19) {
                if (c != '\0') {
                    bytes += c;
                }
                return;
            }
            MakeLong();
        }
        capacity = Grow(capacity, bytes.size() + 2);
        bytes += c;
    }
    void FixXML() {
        const std::string text = Text();
        if (!IsText() || text.find_first_of("\"&<") == std::string::npos) {
            return;
        }
        std::string escaped;
        for (char c : text) {
            escaped += c == '"'   ? "&quot;"
                       : c == '&' ? "&amp;"
                       : c == '<' ? "&lt;"
                                  : std::string(1, c);
        }
        *this = Model{};
        kind = FIAttribute::FT_LONG_TEXT;
        bytes = escaped;
        capacity = Grow(0, escaped.size() + 1);
    }
};

int CompareReals(double mine, double theirs) {
    if (mine < theirs || std::isnan(mine) || std::isnan(theirs)) {
        return -1;
    }
    return mine == theirs ? 0 : 1;
}

int Compare(const Model& a, const Model& b) {
    switch (a.kind) {
    case FIAttribute::FT_NULL:
        if (b.kind == FIAttribute::FT_NULL) {
            return 0;
        }
        if (b.IsText()) {
            return b.Text().empty() ? 0 : -1;
        }
        return b.ReadsAsReal() == 0.0 ? 0 : -1;
    case FIAttribute::FT_INTEGER:
    case FIAttribute::FT_REAL:
        if (b.kind == FIAttribute::FT_NULL) {
            return -2;
        }
        if (b.IsText()) {
            const double theirs =
                a.kind == FIAttribute::FT_INTEGER ? b.ReadsAsInt() : b.ReadsAsReal();
            return CompareReals(a.ReadsAsReal(), theirs);
        }
        return CompareReals(a.ReadsAsReal(), b.ReadsAsReal());
    default: {
        if (!b.IsText()) {
            return -2;
        }
        const int order = a.Text().compare(b.Text());
        return (order > 0) - (order < 0);
    }
    }
}

bool SameReal(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0 || a == b;
}

void Verify(const FIAttribute& value, const Model& model) {
    FUZZ_CHECK(value.GetType() == model.kind);
    FUZZ_CHECK(value.isNull() == (model.kind == FIAttribute::FT_NULL));
    FUZZ_CHECK(value.capacity() == (model.IsLong() ? model.capacity : 0));
    FUZZ_CHECK(value.length() == (model.IsText() ? static_cast<int>(model.bytes.size()) : 0));
    if (model.IsText()) {
        const char* text = value.c_str();
        FUZZ_CHECK(text != nullptr);
        FUZZ_CHECK(std::memcmp(text, model.bytes.data(), model.bytes.size()) == 0);
        FUZZ_CHECK(text[model.bytes.size()] == '\0');
        FUZZ_CHECK(model.IsLong() || model.bytes.size() <= 19);
    } else {
        FUZZ_CHECK(value.c_str() == nullptr);
    }
    if (model.kind == FIAttribute::FT_REAL) {
        FUZZ_CHECK(SameReal(value.rval(), model.rval));
    }
    FUZZ_CHECK(value.ival() == model.ReadsAsInt());
    FUZZ_CHECK(SameReal(value.rval(), model.ReadsAsReal()));
    FUZZ_CHECK(value.stvallen() == static_cast<int>(model.TextForm().size()));
}

void VerifyStval(const FIAttribute& value, const Model& model, int size) {
    // Exactly `size` bytes on the heap, so that a write past them is caught.
    char* dest = new char[static_cast<size_t>(size)];
    std::memset(dest, 0x5A, static_cast<size_t>(size));
    FUZZ_CHECK(value.stval(dest, size) == dest);
    if (model.kind == FIAttribute::FT_NULL) {
        FUZZ_CHECK(dest[0] == '\0');
        for (int i = 1; i < size; ++i) {
            FUZZ_CHECK(dest[i] == 0x5A);
        }
    } else {
        const std::string text = model.TextForm();
        for (int i = 0; i < size - 1; ++i) {
            FUZZ_CHECK(dest[i] == (static_cast<size_t>(i) < text.size() ? text[i] : '\0'));
        }
        FUZZ_CHECK(dest[size - 1] == '\0');
    }
    delete[] dest;
}

int AnInt(qorfuzz::Input& in) {
    static const int k_values[] = {0, 1, -1, 42, -5, INT_MIN, INT_MAX, 7};
    return in.Bit() ? in.Raw<int32_t>() : k_values[in.Pick(8)];
}

double AReal(qorfuzz::Input& in) {
    static const double k_values[] = {0.0,
                                      -0.0,
                                      0.5,
                                      1.0 / 3.0,
                                      -2.7,
                                      1e20,
                                      -1.23456789012e-308,
                                      2147483648.0,
                                      -2147483649.0,
                                      std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(),
                                      4.9e-324};
    return in.Bit() ? in.Raw<double>() : k_values[in.Pick(12)];
}

// A text of interest, or bytes from the input (which may hold zero bytes).
std::string AText(qorfuzz::Input& in) {
    static const char* const k_texts[] = {"",
                                          "ab",
                                          "42",
                                          " 42abc",
                                          "1e3",
                                          "-2.7",
                                          "\t+7x",
                                          "0x1p3",
                                          "nan",
                                          "-inf",
                                          "infinity",
                                          "99999999999",
                                          "-99999999999",
                                          "1e400",
                                          "2.5e-400",
                                          ".5",
                                          "1e",
                                          "a<b",
                                          "\"x\" &y",
                                          "&lt;",
                                          "exactly 18 chars!!",
                                          "exactly 19 chars!!!",
                                          "a text of forty characters, a text of 4",
                                          "\xC3\xA9\xFF"};
    if (in.Bit()) {
        return k_texts[in.Pick(sizeof k_texts / sizeof k_texts[0])];
    }
    return in.Bytes(80);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorfuzz::Input in(data, size);
    FIAttribute values[k_slots];
    Model models[k_slots];
    for (int step = 0; step < 400 && !in.empty(); ++step) {
        const unsigned i = in.Pick(k_slots);
        const unsigned j = in.Pick(k_slots);
        FIAttribute& value = values[i];
        Model& model = models[i];
        const unsigned operation = in.Pick(24);
        if (operation >= 8 && operation <= 16 && model.bytes.size() > k_maxLength) {
            continue;
        }
        switch (operation) {
        case 0: {
            const std::string text = UpToZero(AText(in));
            value = text.c_str();
            model.AssignText(text, text.size());
            break;
        }
        case 1: {
            const std::string text = AText(in);
            value = text;
            model.AssignText(text, text.size());
            break;
        }
        case 2: {
            const int number = AnInt(in);
            value = number;
            model.SetNumber(number);
            break;
        }
        case 3: {
            const double number = AReal(in);
            value = number;
            model.SetNumber(number);
            break;
        }
        case 4:
            // Self-assignment when i == j.
            value = values[j];
            model = models[j];
            break;
        case 5: {
            const FIAttribute copy(values[j]);
            Verify(copy, models[j]);
            value = copy;
            model = models[j];
            break;
        }
        case 6:
            value.Clear();
            model = Model{};
            break;
        case 7: {
            // Every kind, and two that are none.
            static const int k_targets[] = {0, 1, 2, 3, 4, 5, -1};
            const int target = k_targets[in.Pick(7)];
            value.ChangeType(static_cast<Kind>(target));
            model.ChangeType(target);
            break;
        }
        case 8: {
            const std::string text = UpToZero(AText(in));
            value.Append(text.c_str());
            model.AppendText(text);
            break;
        }
        case 9: {
            const int number = AnInt(in);
            value.Append(number);
            model.AppendText(FormatInt(number));
            break;
        }
        case 10: {
            const double number = AReal(in);
            value.Append(number);
            model.AppendText(FormatReal(number));
            break;
        }
        case 11: {
            const std::string text = AText(in);
            value.Append(text);
            model.AppendText(UpToZero(text));
            break;
        }
        case 12: {
            // The other value's text form; the value itself when i == j (its text doubles).
            model.MakeLong();
            const Model& other = models[j];
            const std::string appended =
                other.kind == FIAttribute::FT_NULL ? std::string() : other.TextForm();
            value.Append(values[j]);
            model.AppendText(appended);
            break;
        }
        case 13:
        case 14: {
            // A pointer into the value's own text, appended to it or assigned to it.
            if (!model.IsText()) {
                break;
            }
            const std::string text = model.Text();
            const size_t offset = in.Pick(static_cast<unsigned>(text.size()) + 1);
            if (in.Bit()) {
                value.Append(value.c_str() + offset);
                model.AppendText(text.substr(offset));
            } else {
                value = value.c_str() + offset;
                model.AssignText(text.substr(offset), text.size() - offset);
            }
            break;
        }
        case 15:
        case 16: {
            static const char k_chars[] = {'x', '<', '&', '"', '\0', '\xFF', ' '};
            const char c = in.Bit() ? static_cast<char>(in.Byte()) : k_chars[in.Pick(7)];
            value.AppendChar(c);
            model.AppendChar(c);
            break;
        }
        case 17:
            value.FixXML();
            model.FixXML();
            break;
        case 18:
            FUZZ_CHECK(value.compare(values[j]) == Compare(model, models[j]));
            break;
        case 19:
            VerifyStval(value, model, 1 + static_cast<int>(in.Pick(24)));
            break;
        case 20: {
            // A null pointer is taken as the empty text.
            const std::string text = in.Bit() ? UpToZero(AText(in)) : std::string();
            const FIAttribute made(text.empty() && in.Bit() ? nullptr : text.c_str());
            Model expected;
            expected.AssignText(text, text.size());
            Verify(made, expected);
            value = made;
            model = expected;
            break;
        }
        case 21:
            value = static_cast<const char*>(nullptr);
            model.AssignText("", 0);
            break;
        case 22: {
            const int number = AnInt(in);
            const FIAttribute made(number);
            Model expected;
            expected.SetNumber(number);
            Verify(made, expected);
            break;
        }
        default: {
            const double number = AReal(in);
            const FIAttribute made(number);
            Model expected;
            expected.SetNumber(number);
            Verify(made, expected);
            break;
        }
        }
        Verify(value, model);
    }
    for (int k = 0; k < k_slots; ++k) {
        Verify(values[k], models[k]);
    }
    return 0;
}
