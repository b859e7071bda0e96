#include <QorUtils/object/AttrCol.h>

namespace FI {

AttrCol::~AttrCol() = default;

} // namespace FI
