// Narrowing of the parser's UTF-16 text to the NUL-terminated 8-bit text that handlers and log
// lines use, and the composition of log lines. Private to the XML reading code.
#pragma once

#include <QorUtils/platform/COM.h>

#include <climits>
#include <cstddef>

namespace qorutils {

// The most bytes a name, text piece or file name narrows to.
constexpr int k_narrowLimit = 4096;
// The most bytes a parser error description narrows to.
constexpr int k_descriptionLimit = 256;

// Narrows at most `length` code units of `text` into `dest`, writing at most `limit` bytes and
// a NUL after them; stops early at a zero code unit. Units 1-255 become the byte of the same
// value; any other unit becomes '?', and a surrogate pair (one character) a single '?'.
// A null text or a negative length narrows to the empty text. Returns the bytes written.
// All `length` units must be readable: for a NUL-terminated text, give BoundedLength.
int Narrow(char* dest, const unsigned short* text, int length, int limit) noexcept;

// Whether `text` narrows (as Narrow does, to at most `limit` bytes) to exactly `expected`;
// compares as it goes, writing nothing.
bool NarrowsTo(const unsigned short* text, int length, const char* expected, int limit) noexcept;

// Narrows UTF-8 text, ended by a NUL, to the bytes that Narrow gives for the UTF-16 that the
// reader makes of it (every character one byte), at most `limit` of them and a NUL. Returns
// the bytes written.
int NarrowUtf8(char* dest, const char* text, int limit) noexcept;

// What NarrowUtf8Run narrowed: the bytes written, and the UTF-16 code units that the
// reader's conversion makes of the same characters.
struct NarrowedRun {
    size_t bytes;
    size_t units;
};
// The block in which NarrowUtf8Run copies ASCII.
constexpr size_t k_narrowBlock = 16;

// Narrows UTF-8 from `src` up to `end` as NarrowUtf8 does, for as many whole characters as
// the reader would convert into at most `capacity` code units; advances `src` past them. With
// `readable` (at or after `end`) the bytes up to it may be read, and `dest` has room for
// k_narrowBlock - 1 bytes beyond the bytes written, whose contents are then undefined.
NarrowedRun NarrowUtf8Run(char* dest, const char*& src, const char* end, size_t capacity,
                          const char* readable) noexcept;

// Narrows the local part of a name as expat reports it under namespace processing
// ("uri<separator>local<separator>prefix", or the local name alone) as Narrow does its UTF-16
// form: at most `limit` bytes and a NUL. Returns the bytes written.
int NarrowExpatLocalName(char* dest, const char* name, char separator, int limit) noexcept;

// Whether UTF-8 text, ended by a NUL or the `stop` byte, narrows as NarrowUtf8 does to
// exactly `expected`.
bool Utf8NarrowsTo(const char* text, char stop, const char* expected, int limit) noexcept;

// The length of a NUL-terminated text, counting no further than `limit`; 0 for null.
int BoundedLength(const unsigned short* text, int limit) noexcept;

// The level of a line that LogLine writes through FILogErr, whatever the trace threshold.
constexpr int k_errorLevel = INT_MIN;

// Composes a printf-style line whole, whatever its length, and writes it through FILogErr
// (k_errorLevel) or through FILogTrace at `level`. When memory runs out nothing is written.
void LogLine(int level, const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

// QueryInterface for an object that answers IID_IUnknown and its own interface `own` with
// itself, adding a reference, and anything else with null and E_NOINTERFACE.
template <class Object>
long QueryOwnInterface(Object* self, const GUID& own, const GUID& riid, void** ppv) {
    if (ppv == nullptr) {
        return E_FAIL;
    }
    if (riid != IID_IUnknown && riid != own) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    self->AddRef();
    *ppv = self;
    return S_OK;
}

} // namespace qorutils
