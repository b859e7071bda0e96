// ErrorReporter: qorxml's error handler. The library's SAXErrorHandlerImpl writes each problem to
// the error log; errors and fatal errors are also written to standard error as
// "FILE:LINE:COLUMN: error: DESCRIPTION" in UTF-8 (the file name as given, the description
// whole), after the output printed so far. A COM object like its base: one reference at
// creation, deleted by the last Release. One thread at a time.
#pragma once

#include "qorxml/OutputBuffer.h"
#include "qorxml/Progress.h"

#include <QorUtils/xml/SAXErrorHandlerImpl.h>

namespace qorxml {

class ErrorReporter final : public SAXErrorHandlerImpl {
public:
    // Borrows `out`, which is flushed before a message so that both streams keep their order.
    explicit ErrorReporter(OutputBuffer& out) : m_out(out) {}

    // The file the next problems belong to, as the user named it, and its progress line (may be
    // null), erased before a message; both borrowed until replaced.
    void SetFile(const char* path, Progress* progress) {
        m_path = path;
        m_progress = progress;
    }

    long error(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override;
    long fatalError(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override;

private:
    ~ErrorReporter() override = default;

    void Report(MSXML2::ISAXLocator* locator, unsigned short* description);

    OutputBuffer& m_out;
    const char* m_path = "";
    Progress* m_progress = nullptr;
};

} // namespace qorxml
