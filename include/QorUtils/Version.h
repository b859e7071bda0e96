// The version of the QorUtils library that a process runs with, for hosts and tools that report
// it or check it against the version they were built for (these headers', the CMake package's
// and QorUtils.pc's).
// The text is static and lives as long as the process; any thread may ask.
#pragma once

#include <QorUtils/Export.h>

// The release these headers belong to, for checks at compile time.
#define QORUTILS_VERSION_MAJOR 1
#define QORUTILS_VERSION_MINOR 0
#define QORUTILS_VERSION_PATCH 0

// "MAJOR.MINOR.PATCH", the release of the library that is loaded.
QORUTILS_API const char* QorUtilsVersion();
