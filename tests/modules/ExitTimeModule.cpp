// A host module that ExitTimeHost loads with dlopen and calls from its exit handler and from a
// global's destructor, after the library's own exit work is done, and from a fork handler that
// runs while the library's own hold its locks. Each use logs, attaches, notifies and detaches an
// observer, walks cursors, reads the empty objects and a document in a character set that iconv
// converts, and writes what it found as one log line. (No std::to_string here: its unique symbol
// would keep the module loaded after dlclose, and with it what the dynamic loader allocated.)
#include <QorUtils/QorUtils.h>

#include <cstdio>
#include <string>

namespace {

int g_told = 0;
// The module's own top entry, alive from ModuleStart to ModuleStop, and its observer's pointer.
FITopEntry* g_top = nullptr;
void (*g_slot)() = nullptr;
int g_user = 0;

void CountCall(void*, FINotifyType) {
    ++g_told;
}

std::string Text(const FIAttribute& value) {
    return value.c_str() != nullptr ? value.c_str() : "(null)";
}

} // namespace

// Uses the library and writes " WHEN: ..." to the log (at trace level 3, the threshold).
extern "C" void ModuleUse(const char* when) {
    void (*slot)() = nullptr;
    FI::ObjectPtr<FITopEntry> top(FITopEntry::Create(FI::GetEmptyContextPtr(), &slot));
    int user = 0;
    g_told = 0;
    top->AttachNotify(&user, FINotifyGeneral, CountCall);
    reinterpret_cast<void (*)(int)>(slot)(1);
    top->DetachNotify(&user, FINotifyGeneral);
    char told[64];
    std::snprintf(told, sizeof told, ": observers told %d;", g_told);
    std::string line = when + std::string(told);

    FIAttribute name;
    FIAttribute value;
    for (FI::AttrCursor c = top->CreateAttrCursor(); !c.AtEnd(); c.Seek(1, 1)) {
        line += " " + Text(c.GetName(name)) + "=" + Text(c.GetValue(value));
    }
    line += "; entries";
    for (FI::EntryCursor c = top->CreateCursor(FI::InclIdsAll); !c.AtEnd(); c.Seek(1, 1)) {
        line += " " + Text(c.GetName(name));
    }
    line += "; " + Text(top->GetName(name)) + " over the empty context: ";
    line += top->GetContext() == FI::GetEmptyContextPtr() ? "yes" : "no";
    line += "; empty entry " + Text(FI::GetEmptyEntryPtr()->GetName(name));
    line += FI::EntryCursor().AtEnd() ? ", default cursor at its end" : ", default cursor moved";
    const char document[] = "<?xml version='1.0' encoding='windows-1252'?><r/>";
    MSXML2::SAXXMLReader reader;
    line +=
        reader.parse(document, sizeof document - 1) == S_OK ? "; windows-1252 read" : "; not read";
    FILogTrace(line.c_str(), 3);
    FILogTrace("above the threshold", 4);
}

// Attaches an observer through the module's top entry: the next use tells it too (and frees
// its record with the top entry it destroys).
extern "C" void ModuleAttach() {
    g_top->AttachNotify(&g_user, FINotifyGeneral, CountCall);
}

// Points the log at `path` with threshold 3, uses the library once, and makes the module's top
// entry with an observer attached, which the library's exit work finds in the list.
extern "C" void ModuleStart(const char* path) {
    SetFILog(path);
    SetFILogLevel(3);
    ModuleUse("main");
    g_top = FITopEntry::Create(nullptr, &g_slot);
    g_top->AddRef();
    ModuleAttach();
}

extern "C" void ModuleStop() {
    g_top->Release();
}
