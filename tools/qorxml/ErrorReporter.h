// ErrorReporter: qorxml's error handler. The library's SAXErrorHandlerImpl writes each problem to
// the error log; errors and fatal errors are also written to standard error as
// "FILE:LINE:COLUMN: error: DESCRIPTION" in UTF-8 (the file name as given, the description
// whole), after the output printed so far. A COM object like its base: one reference at
// creation, deleted by the last Release. Used by the thread whose reader holds it.
#pragma once

#include "qorxml/OutputBuffer.h"
#include "qorxml/Progress.h"

#include <QorUtils/xml/SAXErrorHandlerImpl.h>

namespace qorxml {

class ErrorReporter final : public SAXErrorHandlerImpl {
public:
    ErrorReporter() = default;

    // The file the next problems belong to, as the user named it, the output its lines follow
    // and its progress line (may be null), erased before a line; all borrowed until replaced.
    void SetFile(const char* path, OutputBuffer* out, Progress* progress) {
        m_path = path;
        m_out = out;
        m_progress = progress;
    }

    long error(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override;
    long fatalError(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override;

private:
    ~ErrorReporter() override = default;

    void Report(MSXML2::ISAXLocator* locator, unsigned short* description);

    const char* m_path = "";
    OutputBuffer* m_out = nullptr;
    Progress* m_progress = nullptr;
};

} // namespace qorxml
