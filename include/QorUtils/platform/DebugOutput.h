// The debugger-output service: diagnostic text for a developer, not for the log file.
// On this platform the text goes to standard error unchanged.
#pragma once

#include <QorUtils/Export.h>

// Writes the text as it is to standard error; a null text writes nothing.
QORUTILS_API void OutputDebugStringA(const char* text);
