#include <QorUtils/object/Display.h>

namespace FI {

Display::~Display() = default;

} // namespace FI
