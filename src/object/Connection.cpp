#include <QorUtils/object/Connection.h>

namespace FI {

Connection::~Connection() = default;

} // namespace FI
