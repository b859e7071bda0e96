// FI::Connection: the abstract link between entries that a module hands out through
// Entry::GetConnections. Not counted: its owner deletes it through the public virtual destructor.
// The library defines no operation of its own on it. One thread at a time.
#pragma once

#include <QorUtils/Export.h>

namespace FI {

class QORUTILS_API Connection {
public:
    virtual ~Connection();
    // Copied as part of a derived object (a deep clone, say).
    Connection() = default;
    Connection(const Connection&) = default;
    Connection& operator=(const Connection&) = default;
};

} // namespace FI
