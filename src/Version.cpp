#include <QorUtils/Version.h>

#include <string_view>

#define QORUTILS_TEXT(number) #number
#define QORUTILS_VERSION_OF(major, minor, patch)                                                   \
    QORUTILS_TEXT(major) "." QORUTILS_TEXT(minor) "." QORUTILS_TEXT(patch)

// The build defines QORUTILS_VERSION_TEXT from the project's version; the header states the
// same release.
static_assert(std::string_view(QORUTILS_VERSION_TEXT) ==
                  QORUTILS_VERSION_OF(QORUTILS_VERSION_MAJOR, QORUTILS_VERSION_MINOR,
                                      QORUTILS_VERSION_PATCH),
              "QorUtils/Version.h and the project's version differ");

const char* QorUtilsVersion() {
    return QORUTILS_VERSION_TEXT;
}
