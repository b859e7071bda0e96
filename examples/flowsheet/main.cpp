// flowsheet: a small host module built on QorUtils, meant to be copied from. It
//   1. reads a model description (model.xml) with its own element handlers,
//   2. makes a top entry over its model context, with its solver and an observer,
//   3. lists the model through the object model's generic cursors, as any host would,
//   4. runs the solver and prints its messages, and tells the observers.
// Usage: flowsheet [MODEL.xml]   (default: the model.xml beside this file)
#include "flowsheet/BalanceSolver.h"
#include "flowsheet/ModelContext.h"
#include "flowsheet/ModelHandlers.h"

#include <QorUtils/QorUtils.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The error adapter writes each parser error to the log; this one also keeps where the fatal
// error was and what it was, to show the user.
class ParseError final : public SAXErrorHandlerImpl {
public:
    long fatalError(MSXML2::ISAXLocator* locator, unsigned short* description, long code) override {
        SAXErrorHandlerImpl::fatalError(locator, description, code);
        if (locator != nullptr) {
            locator->getLineNumber(&line);
            locator->getColumnNumber(&column);
        }
        int length = 0;
        while (description != nullptr && description[length] != 0 && length < 4096) {
            ++length;
        }
        myconvert(text, description, length);
        // The description ends with a line break.
        text[std::strcspn(text, "\r\n")] = '\0';
        return S_OK;
    }

    int line = 0;
    int column = 0;
    char text[4096 + 1] = "";

private:
    ~ParseError() override = default;
};

// Step 1: the parser drives the handler tree through the content adapter; its errors go to
// the log through the error adapter. Both adapters are counted: release them when done. A
// failure is shown as FILE:LINE:COLUMN: error: DESCRIPTION with the reader's result, a 32-bit
// code: printed through uint32_t, not as the negative long it is.
bool ReadModel(const char* path, ModelContext& model) {
    auto* content = new SAXContentHandlerImpl(new TopHandler(new ModelHandler(model)));
    auto* errors = new ParseError;
    long result = S_OK;
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        reader.putErrorHandler(errors);
        result = reader.parseURL(path);
    }
    if (result != S_OK) {
        std::fprintf(stderr, "flowsheet: %s:%d:%d: error: %s (0x%08" PRIX32 ")\n", path,
                     errors->line, errors->column, errors->text, static_cast<uint32_t>(result));
    }
    content->Release();
    errors->Release();
    return result == S_OK;
}

// A value as text: numbers as "%d" and "%.12lg" write them.
std::string Text(const FIAttribute& value) {
    FIAttribute text(value);
    text.ChangeType(FIAttribute::FT_SHORT_TEXT);
    return text.c_str() != nullptr ? text.c_str() : "";
}

// Step 3: a host that knows nothing of ModelEntry walks the entries and their attributes
// (texts quoted, numbers bare).
void PrintEntries(FI::Context& context) {
    for (FI::EntryCursor entries = context.CreateCursor(FI::InclIdsAll); !entries.AtEnd();
         entries.Seek(1, 1)) {
        FI::ObjectPtr<FI::Entry> entry = entries.GetEntry();
        // Another module's entry may have no attribute table.
        const FI::ObjectPtr<FI::AttrCol> table = entry->GetAttributeCollection();
        if (!table) {
            continue;
        }
        std::string line;
        for (FI::AttrCursor attributes = table->CreateAttrCursor(); !attributes.AtEnd();
             attributes.Seek(1, 1)) {
            FIAttribute name;
            FIAttribute value;
            attributes.GetValue(value);
            const bool quoted = value.c_str() != nullptr;
            line += " " + Text(attributes.GetName(name)) + "=" + (quoted ? "\"" : "") +
                    Text(value) + (quoted ? "\"" : "");
        }
        std::printf("  %s\n", line.c_str() + 1);
    }
}

// The names of this module's severities: info, warning, error.
const char* SeverityName(FI::FIMessageSeverity severity) {
    static const char* const names[] = {"info", "warning", "error"};
    return severity >= SeverityInfo && severity <= SeverityError ? names[severity] : "other";
}

// An observer: `user` is whatever the observer attached with, here the model.
void OnModelChanged(void* user, FINotifyType type) {
    auto* model = static_cast<ModelContext*>(user);
    std::printf("Observer (type %d): the model changed; its streams now read:\n",
                static_cast<int>(type));
    for (const FI::ObjectPtr<ModelEntry>& entry : model->entries()) {
        if (entry->branch != ElementHandler::BranchNone) {
            std::printf("  %s: %s kg/s, %s K\n", entry->name().c_str(),
                        Text(entry->field(ModelEntry::Flow)).c_str(),
                        Text(entry->field(ModelEntry::Temperature)).c_str());
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : FLOWSHEET_SAMPLE_MODEL;

    FI::ObjectPtr<ModelContext> model(new ModelContext);
    if (!ReadModel(path, *model)) {
        return 1;
    }
    std::printf("Model \"%s\": %s\n", Text(model->title).c_str(), Text(model->description).c_str());

    // Step 2: the top entry takes over the solver and a reference on the context, and stores
    // its dispatcher in `notify`, through which this module tells the observers. When Create
    // fails the solver is still ours: the unique_ptr deletes it (and its reference on the model).
    void (*notify)() = nullptr;
    auto balance = std::make_unique<BalanceSolver>(model);
    FI::ObjectPtr<FI::Entry> top(FITopEntry::Create(model.get(), &notify, balance.get()));
    if (!top) {
        std::fprintf(stderr, "flowsheet: out of memory\n");
        return 1;
    }
    balance.release(); // the top entry owns it now
    if (!top->AttachNotify(model.get(), FINotifyGeneral, &OnModelChanged)) {
        std::fprintf(stderr, "flowsheet: out of memory\n");
        return 1;
    }

    FIAttribute name;
    FIAttribute id;
    std::printf("Entries under %s (id %s):\n", Text(top->GetName(name)).c_str(),
                Text(top->GetNamedAttribute("id", id)).c_str());
    PrintEntries(*top->GetContext());

    // Step 4: the solver stays the top entry's; messages come back in a chain we own.
    FI::Solver* solver = nullptr;
    if (!top->GetSolver(FISolverPrimary, &solver) || solver == nullptr) {
        std::fprintf(stderr, "flowsheet: the top entry has no solver\n");
        return 1;
    }
    FI::FIMessageChain messages;
    if (solver->Initialize(messages)) {
        solver->SynchronousExecute(messages);
        solver->Terminate();
    }
    std::printf("Solver \"%s\":\n", Text(solver->GetSolverName(name)).c_str());
    int errors = 0;
    for (int i = 0; i < messages.Count(); ++i) {
        const FI::FIMessageInfo* message = messages.Get(i);
        std::printf("  %s: %s\n", SeverityName(message->nSeverity), message->pszText);
        errors += message->nSeverity == SeverityError;
    }

    // A non-zero argument tells the observers of FINotifyGeneral.
    reinterpret_cast<void (*)(int)>(notify)(1);
    return errors == 0 ? 0 : 1;
}
