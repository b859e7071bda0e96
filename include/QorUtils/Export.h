// The macros every public header stands on. QORUTILS_API marks the classes and functions that
// form the library's interface. The library is built with hidden visibility, so only what
// carries QORUTILS_API is exported. The static library (QORUTILS_STATIC, set for its users by the
// CMake package and QorUtils.pc) exports nothing: its symbols stay inside the host module that
// links it.
#pragma once

// The headers need C++17 or later; a host on a newer standard keeps its own.
#if __cplusplus < 201703L
#error "QorUtils needs C++17 or later (-std=c++17)"
#endif

#if defined(QORUTILS_STATIC)
#define QORUTILS_API
#elif defined(__GNUC__) || defined(__clang__)
#define QORUTILS_API __attribute__((visibility("default")))
#else
#define QORUTILS_API
#endif

// Marks the constants that the headers define, such as the interface identifiers: each module
// that uses one keeps a hidden copy of its own. With default visibility g++ makes them unique
// symbols, and the dynamic loader then never unloads a module that names one (dlclose keeps it).
#if defined(__GNUC__) || defined(__clang__)
#define QORUTILS_HEADER_CONSTANT __attribute__((visibility("hidden")))
#else
#define QORUTILS_HEADER_CONSTANT
#endif

// Marks the classes that hold standard containers. The standard library's debug mode
// (_GLIBCXX_DEBUG) lays its containers out otherwise, so such a class carries that mode in its
// symbols ([abi:glibcxx_debug]): a host built in the other mode than the library fails to link
// instead of corrupting the class's containers. _GLIBCXX_ASSERTIONS keeps the layout.
#if defined(_GLIBCXX_DEBUG)
#define QORUTILS_CONTAINER_ABI __attribute__((abi_tag("glibcxx_debug")))
#else
#define QORUTILS_CONTAINER_ABI
#endif
