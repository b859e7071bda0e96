#include <QorUtils/Version.h>

// The build defines QORUTILS_VERSION_TEXT from the project's version.
const char* QorUtilsVersion() {
    return QORUTILS_VERSION_TEXT;
}
