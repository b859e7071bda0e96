#include <QorUtils/object/Context.h>

namespace FI {

Context::~Context() = default;

FIAttribute& Context::MonikerToPath(char* moniker, FIAttribute& path, char** rest) {
    path.Clear();
    if (rest != nullptr) {
        *rest = moniker;
    }
    return path;
}

} // namespace FI
