#include <QorUtils/top/FITopEntry.h>

#include "object/NeverDestroyed.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

template class FI::AttrMapBase<FITopEntry>;

namespace {

// The name and the observer list are built on first use, so that a host's static constructors
// may use top entries before this file's initialisers have run (a static link runs the host's
// first), and never destroyed, so that its exit handlers and static destructors may still name,
// notify and destroy top entries. A list that holds records at exit belongs to a top entry still
// alive, that is, leaked.
const std::string& TopName() {
    static qorutils::NeverDestroyed<std::string> s_top("Top");
    return s_top.get();
}

std::list<std::unique_ptr<FITopEntry::_notify>>& Notifies() {
    static qorutils::NeverDestroyed<std::list<std::unique_ptr<FITopEntry::_notify>>> s_notifies;
    return s_notifies.get();
}

// How many dispatch passes are running, nested ones included. Records are only marked while it
// is above 0 and are removed when the outermost pass ends.
int g_passDepth = 0;

} // namespace

const std::string& FITopEntry::k_top = TopName();
std::list<std::unique_ptr<FITopEntry::_notify>>& FITopEntry::m_notifies = Notifies();
bool FITopEntry::m_bDelayDelete = false;
bool FITopEntry::m_bNeedDelete = false;

FITopEntry* FITopEntry::Create(FI::ObjectPtr<FI::Context> context, void (**ppfnNotify)()) {
    return Create(std::move(context), ppfnNotify, nullptr);
}

FITopEntry* FITopEntry::Create(FI::ObjectPtr<FI::Context> context, void (**ppfnNotify)(),
                               FI::Solver* solver) {
    return new (std::nothrow) FITopEntry(std::move(context), ppfnNotify, solver);
}

FITopEntry::FITopEntry(FI::ObjectPtr<FI::Context> context, void (**ppfnNotify)(),
                       FI::Solver* solver)
    : TopContext(std::move(context)), m_pSolver(solver) {
    if (ppfnNotify != nullptr) {
        m_bNotify = true;
        *ppfnNotify = reinterpret_cast<void (*)()>(&FITopEntry::MyNotify);
    }
}

FITopEntry::~FITopEntry() {
    // Held as Release holds it, also when the destructor is called directly.
    m_nRef = 1;
    m_bNotify = false;
    if (m_bDelayDelete) {
        for (const auto& record : Notifies()) {
            record->m_bActive = false;
        }
        m_bNeedDelete = true;
    } else {
        Notifies().clear();
    }
    delete std::exchange(m_pSolver, nullptr);
    m_context.reset();
}

const FI::FI_ATTRIBUTE_ENTRY* FITopEntry::_GetEntries(int* pCount) {
    static const FI::FI_ATTRIBUTE_ENTRY _entries[] = {
        {"id", FI::k_getOwner, nullptr, &FITopEntry::GetID, 0},
        {"type", FI::k_getOwner, nullptr, &FITopEntry::GetType, 0},
        {nullptr, 0, nullptr, nullptr, 0},
    };
    if (pCount != nullptr) {
        *pCount = static_cast<int>(std::size(_entries)) - 1;
    }
    return _entries;
}

FIAttribute& FITopEntry::GetID(void*, FIAttribute& out) {
    return out = "Top";
}

FIAttribute& FITopEntry::GetType(void*, FIAttribute& out) {
    return out = "TopNode";
}

const FI::FI_ATTRIBUTE_ENTRY* FITopEntry::begin() const {
    return _GetEntries(nullptr);
}

const FI::FI_ATTRIBUTE_ENTRY* FITopEntry::end() const {
    int count = 0;
    const FI::FI_ATTRIBUTE_ENTRY* first = _GetEntries(&count);
    return first + count;
}

const FI::FI_ATTRIBUTE_ENTRY* FITopEntry::find(const std::string& name) const {
    return FI::InternalFindAttribute(const_cast<FITopEntry*>(this), begin(), end(), name);
}

const FI::FI_ATTRIBUTE_ENTRY* FITopEntry::find(const char* name) const {
    return FI::InternalFindAttribute(const_cast<FITopEntry*>(this), begin(), end(), name);
}

FIAttribute& FITopEntry::_InternalAttributeQuery(const std::string& name, FIAttribute& out) const {
    return FI::InternalAttributeQuery(const_cast<FITopEntry*>(this), begin(), end(), name, out);
}

FIAttribute& FITopEntry::_InternalAttributeQuery(const char* name, FIAttribute& out) const {
    return FI::InternalAttributeQuery(const_cast<FITopEntry*>(this), begin(), end(), name, out);
}

int FITopEntry::AddRef() {
    return ++m_nRef;
}

int FITopEntry::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    m_nRef = 1;
    delete this;
    return 0;
}

FIAttribute& FITopEntry::GetName(FIAttribute& out) const {
    return out = TopName();
}

FIAttribute& FITopEntry::GetNamedAttribute(const FIAttribute& name, FIAttribute& out) {
    const char* text = name.c_str();
    if (text != nullptr && std::strcmp(text, "id") == 0) {
        return out = "Top";
    }
    if (text != nullptr && std::strcmp(text, "type") == 0) {
        return out = "TopNode";
    }
    return out.Clear();
}

const FI::ObjectPtr<FI::AttrCol> FITopEntry::GetAttributeCollection() const {
    return FI::ObjectPtr<FI::AttrCol>(const_cast<FITopEntry*>(this));
}

FI::ObjectPtr<FI::Context> FITopEntry::GetContext() {
    return m_context;
}

bool FITopEntry::GetSolver(FISolverType type, FI::Solver** ppSolver) {
    if (ppSolver == nullptr) {
        return false;
    }
    *ppSolver = type == FISolverPrimary ? m_pSolver : nullptr;
    return *ppSolver != nullptr;
}

FI::AttrCursor FITopEntry::CreateAttrCursor() {
    return AttrMapBase<FITopEntry>::CreateAttrCursor();
}

bool FITopEntry::AttachNotify(void* pUser, FINotifyType type, FIEntryNotifyProc pfn) {
    if (!m_bNotify || pfn == nullptr) {
        return false;
    }
    try {
        Notifies().push_back(std::make_unique<_notify>(_notify{type, pUser, pfn, true}));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool FITopEntry::DetachNotify(void* pUser, FINotifyType type) {
    if (!m_bNotify) {
        return false;
    }
    auto& notifies = Notifies();
    auto match = std::find_if(notifies.begin(), notifies.end(), [&](const auto& record) {
        return record->m_bActive && record->m_type == type && record->m_pUser == pUser;
    });
    if (match == notifies.end()) {
        return false;
    }
    if (m_bDelayDelete) {
        (*match)->m_bActive = false;
        m_bNeedDelete = true;
    } else {
        notifies.erase(match);
    }
    return true;
}

void FITopEntry::MyNotify(int arg) {
    // Ends the pass also when a callback throws: the flags and the deferred removal must not be
    // left half-done.
    struct Pass {
        Pass() {
            ++g_passDepth;
            m_bDelayDelete = true;
        }
        ~Pass() {
            if (--g_passDepth > 0) {
                return;
            }
            m_bDelayDelete = false;
            if (m_bNeedDelete) {
                m_bNeedDelete = false;
                Notifies().remove_if([](const auto& record) { return !record->m_bActive; });
            }
        }
    } pass;

    // Records are never freed while a pass runs, so each one outlives its callback, and
    // appended records are reached because the end is read again after every call.
    auto& notifies = Notifies();
    for (auto it = notifies.begin(); it != notifies.end(); ++it) {
        const _notify& record = **it;
        if (!record.m_bActive) {
            continue;
        }
        if (arg != 0 && record.m_type == FINotifyGeneral) {
            record.m_pfnNotify(record.m_pUser, FINotifyGeneral);
        } else if (arg == 0 && record.m_type != FINotifyGeneral) {
            record.m_pfnNotify(record.m_pUser, record.m_type);
        }
    }
}
