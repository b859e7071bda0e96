// The character sets that expat does not read itself, read through iconv: every single-byte
// set that iconv knows, and the multi-byte sets whose sequence length follows from the first
// byte (Shift_JIS, EUC-JP, EUC-KR, GB2312, Big5, ...), each of the four labels Shift_JIS,
// EUC-KR, GB2312 and Big5 read as the superset that documents so labelled are written in.
// Stateful sets (ISO-2022-*, UTF-7) and those whose length needs more than the first byte
// (GB18030) are refused. The tables of the first few multi-byte sets read are kept for the
// process; each reading owns the rest of what it is given.
#pragma once

#include <expat.h>

#include <string_view>

namespace MSXML2 {
namespace detail {

enum class EncodingFill { Filled, Unknown, OutOfMemory };

// Whether documents labelled `label` are UTF-8 under a label that expat does not know: "UTF8"
// (any case), which some generators write. The reader has expat read them as UTF-8.
bool NamesUtf8(std::string_view label);

// Fills expat's description of the encoding called `name`: Unknown when it cannot be read,
// OutOfMemory when memory ran out on the way. Once filled, expat frees what was allocated
// through the description's release function.
EncodingFill FillIconvEncoding(const char* name, XML_Encoding* info);

} // namespace detail
} // namespace MSXML2
