// The version of the QorUtils library that a process runs with, for hosts and tools that report
// it or check it against the version they were built for (the CMake package's and QorUtils.pc's).
// The text is static and lives as long as the process; any thread may ask.
#pragma once

#include <QorUtils/Export.h>

// "MAJOR.MINOR.PATCH", the release of the library that is loaded.
QORUTILS_API const char* QorUtilsVersion();
