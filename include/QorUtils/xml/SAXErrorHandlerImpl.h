// SAXErrorHandlerImpl: the error handler given to a SAX parser. It writes each problem the
// parser reports as one line of the error log: errors and fatal errors always, warnings at
// trace level 5. A COM object: it starts with one reference and deletes itself when Release
// brings the count to 0. An adapter is used by one thread at a time (counts are plain integers);
// different adapters may report on different threads at once, the log taking their lines whole.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/platform/SAX.h>

#include <cstdint>

class QORUTILS_API SAXErrorHandlerImpl : public MSXML2::ISAXErrorHandler {
public:
    SAXErrorHandlerImpl() = default;
    SAXErrorHandlerImpl(const SAXErrorHandlerImpl&) = delete;
    SAXErrorHandlerImpl& operator=(const SAXErrorHandlerImpl&) = delete;

    // Answers IID_IUnknown and IID_ISAXErrorHandler with this object, adding a reference;
    // anything else with null and E_NOINTERFACE; a null ppv with E_POINTER.
    long QueryInterface(const GUID& riid, void** ppv) override;
    unsigned long AddRef() override;
    // Deletes the object when the count reaches 0, holding it at 1 meanwhile: code run by a
    // derived class's destructor may take and drop references.
    unsigned long Release() override;

    // Each writes "  XML Parser KIND: 0x<code> at line L column C, <description>" (without a
    // locator: "  XML Parser KIND: 0x<code>, <description>"), the code as eight blank-padded
    // upper-case hexadecimal digits, the description in UTF-8 (a file name it quotes as its
    // bytes) cut at 256 bytes and, when longer than 2, stripped of its last two (the parser's
    // line end). Always S_OK.
    long error(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override;
    long fatalError(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override;
    // Written only while the trace threshold is 5 or more.
    long ignorableWarning(MSXML2::ISAXLocator* locator, unsigned short* description,
                          long code) override;

protected:
    virtual ~SAXErrorHandlerImpl() = default;

    // Narrows into `dest`, which holds at least min(length, 4096) + 1 bytes.
    static void myconvert(char* dest, unsigned short* text, int length);

private:
    int32_t m_cRef = 1;
};
