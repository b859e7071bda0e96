// What the XML adapters and handlers share beyond text conversion (text/): the composition of
// log lines and the QueryInterface of an object with one interface. Private to the XML
// reading code.
#pragma once

#include <QorUtils/platform/COM.h>

#include <climits>

namespace qorutils {

// The most bytes a parser error description narrows to.
constexpr int k_descriptionLimit = 256;

// The level of a line that LogLine writes through FILogErr, whatever the trace threshold.
constexpr int k_errorLevel = INT_MIN;

// Composes a printf-style line whole, whatever its length, and writes it through FILogErr
// (k_errorLevel) or through FILogTrace at `level`, each control character but tab as '?' so
// that it stays one line. When memory runs out nothing is written.
void LogLine(int level, const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

// QueryInterface for an object that answers IID_IUnknown and its own interface `own` with
// itself, adding a reference, and anything else with null and E_NOINTERFACE. A null `ppv` is
// E_POINTER, as COM and the reader's own objects answer it.
template <class Object>
long QueryOwnInterface(Object* self, const GUID& own, const GUID& riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown && riid != own) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    self->AddRef();
    *ppv = self;
    return S_OK;
}

} // namespace qorutils
