// QorUtils export macro: marks the classes and functions that form the library's interface.
// The library is built with hidden visibility, so only what carries QORUTILS_API is exported.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QORUTILS_API __attribute__((visibility("default")))
#else
#define QORUTILS_API
#endif
