// The small part of COM that the SAX interfaces and adapters stand on: result codes,
// interface identifiers and IUnknown. Reference counting follows COM: AddRef and Release
// return the new count, and an object deletes itself when its count reaches zero.
// Nothing here is thread-safe; counts are plain integers.
#pragma once

#include <QorUtils/Export.h>

#include <cstdint>
#include <cstring>

typedef long HRESULT;

constexpr long S_OK = 0;
constexpr long S_FALSE = 1;
// Failure codes are the 32-bit codes sign-extended, so every failure is negative.
constexpr long E_FAIL = static_cast<int32_t>(0x80004005u);
constexpr long E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
constexpr long E_POINTER = static_cast<int32_t>(0x80004003u);
constexpr long E_INVALIDARG = static_cast<int32_t>(0x80070057u);
// The operation was abandoned: its object went away while it ran.
constexpr long E_ABORT = static_cast<int32_t>(0x80004004u);

// A result is judged on its low 32 bits taken as a signed number, as the 32-bit platform does:
// 0x80004005 is a failure even when it was widened to `long` without its sign. Left out when
// the host already has its own FAILED or SUCCEEDED.
#ifndef FAILED
constexpr bool FAILED(long result) {
    return static_cast<int32_t>(static_cast<uint32_t>(result)) < 0;
}
#endif
#ifndef SUCCEEDED
constexpr bool SUCCEEDED(long result) {
    return static_cast<int32_t>(static_cast<uint32_t>(result)) >= 0;
}
#endif

// A 16-byte interface identifier, laid out as COM lays it out.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

// Identifiers compare on all 16 bytes.
inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}

// {00000000-0000-0000-C000-000000000046}
QORUTILS_HEADER_CONSTANT inline constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {1545CDFA-9E4E-4497-A8A4-2BF7D0112C44}
QORUTILS_HEADER_CONSTANT inline constexpr GUID IID_ISAXContentHandler = {
    0x1545CDFA, 0x9E4E, 0x4497, {0xA8, 0xA4, 0x2B, 0xF7, 0xD0, 0x11, 0x2C, 0x44}};
// {A60511C4-CCF5-479E-98A3-DC8DC545B7D0}
QORUTILS_HEADER_CONSTANT inline constexpr GUID IID_ISAXErrorHandler = {
    0xA60511C4, 0xCCF5, 0x479E, {0x98, 0xA3, 0xDC, 0x8D, 0xC5, 0x45, 0xB7, 0xD0}};

// The root of every COM interface. Objects are destroyed by their own Release, never by
// delete through this interface, hence the protected destructor.
struct IUnknown {
    virtual long QueryInterface(const GUID& riid, void** ppv) = 0;
    virtual unsigned long AddRef() = 0;
    virtual unsigned long Release() = 0;

protected:
    ~IUnknown() = default;
    // Copied as part of a derived object (a deep clone, say).
    IUnknown() = default;
    IUnknown(const IUnknown&) = default;
    IUnknown& operator=(const IUnknown&) = default;
};
