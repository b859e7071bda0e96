#include <QorUtils/top/TopContext.h>

#include <QorUtils/object/EmptyObjects.h>
#include <QorUtils/top/TopCursorBase.h>

#include <new>
#include <utility>

namespace FI {

TopContext::TopContext(ObjectPtr<Context> context) : m_context(std::move(context)) {}

TopContext::TopContext(const TopContext& other) : Context(other), m_context(other.m_context) {}

TopContext& TopContext::operator=(const TopContext& other) {
    m_context = other.m_context;
    return *this;
}

TopContext::~TopContext() = default;

int TopContext::AddRef() {
    return ++m_nRef;
}

int TopContext::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    m_nRef = 1;
    delete this;
    return 0;
}

EntryCursor TopContext::CreateCursor(InclIds incl) {
    if (incl == InclIdsNone) {
        return GetEmptyCursor();
    }
    return EntryCursor(new (std::nothrow) TopCursorBase(m_context));
}

} // namespace FI
