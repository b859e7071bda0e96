#include "platform/SAXLocatorImpl.h"

#include "platform/ExpatPosition.h"
#include "text/ByteText.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace MSXML2 {
namespace detail {
namespace {

int clampToInt(uint64_t value) {
    return value > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

} // namespace

SAXLocatorImpl* SAXLocatorImpl::Create(const char* systemId) {
    auto* locator = new (std::nothrow) SAXLocatorImpl();
    if (locator == nullptr) {
        return nullptr;
    }
    const size_t length = systemId != nullptr ? std::strlen(systemId) : 0;
    auto* text = new (std::nothrow) unsigned short[length + 1];
    if (text == nullptr) {
        delete locator;
        return nullptr;
    }
    text[qorutils::text::Utf16FromBytes(systemId, length, text)] = 0;
    locator->m_systemId = text;
    return locator;
}

SAXLocatorImpl::~SAXLocatorImpl() {
    delete[] m_systemId;
}

long SAXLocatorImpl::QueryInterface(const GUID& riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
}

unsigned long SAXLocatorImpl::AddRef() {
    return ++m_cRef;
}

unsigned long SAXLocatorImpl::Release() {
    const unsigned long count = --m_cRef;
    if (count == 0) {
        delete this;
    }
    return count;
}

TextPosition SAXLocatorImpl::position() const {
    if (m_parser == nullptr) {
        return m_pinned;
    }
    // Expat counts lines from 1 and columns from 0.
    TextPosition current;
    current.line = clampToInt(ExpatLine(m_parser));
    uint64_t column = ExpatColumn(m_parser) + 1 + static_cast<uint64_t>(m_ahead);
    if (current.line == 1 && column > 1) {
        column -= static_cast<uint64_t>(m_firstLineShift);
    }
    current.column = clampToInt(column);
    return current;
}

long SAXLocatorImpl::getColumnNumber(int* column) {
    if (column == nullptr) {
        return E_POINTER;
    }
    *column = position().column;
    return S_OK;
}

long SAXLocatorImpl::getLineNumber(int* line) {
    if (line == nullptr) {
        return E_POINTER;
    }
    *line = position().line;
    return S_OK;
}

long SAXLocatorImpl::getPublicId(unsigned short** publicId) {
    if (publicId == nullptr) {
        return E_POINTER;
    }
    *publicId = m_publicId;
    return S_OK;
}

long SAXLocatorImpl::getSystemId(unsigned short** systemId) {
    if (systemId == nullptr) {
        return E_POINTER;
    }
    *systemId = m_systemId;
    return S_OK;
}

} // namespace detail
} // namespace MSXML2
