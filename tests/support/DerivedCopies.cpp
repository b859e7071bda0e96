// Classes that a host derives from the library's bases and copies, as a deep clone does. Built
// with the header check's warnings, which take a base's copy for deprecated when the base
// declares a destructor and not its copy.
#include <QorUtils/QorUtils.h>

#define QORTEST_COPYABLE(Derived, Base)                                                            \
    struct Derived : Base {                                                                        \
        Derived(const Derived& other) : Base(other) {}                                             \
                                                                                                   \
    protected:                                                                                     \
        ~Derived() = default;                                                                      \
    };

QORTEST_COPYABLE(HostContext, FI::Context)
QORTEST_COPYABLE(HostEntry, FI::Entry)
QORTEST_COPYABLE(HostAttrCol, FI::AttrCol)
QORTEST_COPYABLE(HostAttrCursor, FI::AttrCursorImpl)
QORTEST_COPYABLE(HostEntryCursor, FI::EntryCursorImpl)
QORTEST_COPYABLE(HostSolver, FI::Solver)
QORTEST_COPYABLE(HostDisplay, FI::Display)
QORTEST_COPYABLE(HostConnection, FI::Connection)
QORTEST_COPYABLE(HostUnitSource, FI::FIUnitSource)
QORTEST_COPYABLE(HostUnknown, IUnknown)
QORTEST_COPYABLE(HostLocator, MSXML2::ISAXLocator)
QORTEST_COPYABLE(HostAttributes, MSXML2::ISAXAttributes)
QORTEST_COPYABLE(HostContentHandler, MSXML2::ISAXContentHandler)
QORTEST_COPYABLE(HostErrorHandler, MSXML2::ISAXErrorHandler)
