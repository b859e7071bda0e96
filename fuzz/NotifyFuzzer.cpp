// Fuzz target: the observer list of the top entries driven through attach, detach, dispatch
// and the destruction of entries, at the top level and from inside callbacks (nested passes
// included), each step checked against a model of the list: which records exist and are
// active, and exactly which callbacks a pass must make, in which order.
#include "FuzzSupport.h"

#include <QorUtils/top/FITopEntry.h>

#include <vector>

namespace {

// The process-wide list that FITopEntry keeps to itself.
struct ObserverList : FITopEntry {
    static const std::list<std::unique_ptr<_notify>>& Records() { return m_notifies; }
    static bool Delaying() { return m_bDelayDelete; }
    static bool NeedDelete() { return m_bNeedDelete; }
};

constexpr int k_entries = 3;     // entries 0 and 1 have a slot, entry 2 has none
constexpr int k_users = 4;       // observers, told apart by their pointer
constexpr int k_maxDepth = 4;    // nested passes
constexpr int k_maxActions = 64; // actions taken inside callbacks, so that every pass ends

struct Record {
    void* user;
    FINotifyType type;
    bool active;
};

// What the list should hold, and the passes now running with how far each has come.
struct Model {
    struct Pass {
        int arg;
        size_t next;
    };
    std::vector<Record> records;
    std::vector<Pass> passes;
    bool needDelete = false;

    static bool Matches(const Record& record, int arg) {
        return record.active &&
               (arg != 0 ? record.type == FINotifyGeneral : record.type != FINotifyGeneral);
    }
    // The record the running pass must call next, or records.size() when it is done.
    size_t NextCall() const {
        const Pass& pass = passes.back();
        size_t k = pass.next;
        while (k < records.size() && !Matches(records[k], pass.arg)) {
            ++k;
        }
        return k;
    }
    void Called(void* user, FINotifyType type) {
        FUZZ_CHECK(!passes.empty());
        const size_t k = NextCall();
        FUZZ_CHECK(k < records.size());
        FUZZ_CHECK(records[k].user == user);
        FUZZ_CHECK(records[k].type == type);
        passes.back().next = k + 1;
    }
    void PassEnded() {
        FUZZ_CHECK(NextCall() == records.size());
        passes.pop_back();
        if (passes.empty() && needDelete) {
            std::vector<Record> kept;
            for (const Record& record : records) {
                if (record.active) {
                    kept.push_back(record);
                }
            }
            records.swap(kept);
            needDelete = false;
        }
    }
    bool Detach(void* user, FINotifyType type) {
        for (size_t k = 0; k < records.size(); ++k) {
            if (records[k].active && records[k].user == user && records[k].type == type) {
                if (passes.empty()) {
                    records.erase(records.begin() + static_cast<long>(k));
                } else {
                    records[k].active = false;
                    needDelete = true;
                }
                return true;
            }
        }
        return false;
    }
    // Destroying any top entry frees every record, at the end of the outermost pass if one
    // runs.
    void EntryDestroyed() {
        if (passes.empty()) {
            records.clear();
            return;
        }
        for (Record& record : records) {
            record.active = false;
        }
        needDelete = true;
    }
};

struct State {
    qorfuzz::Input* in = nullptr;
    FI::ObjectPtr<FI::Entry> entries[k_entries];
    void (*slot)() = nullptr;
    char users[k_users] = {};
    Model model;
    int actionsLeft = 0;
};

State* g_state = nullptr;

void Act(State& state);

void Called(void* user, FINotifyType type) {
    FUZZ_CHECK(ObserverList::Delaying());
    g_state->model.Called(user, type);
}

// The observer that acts: each call may attach, detach, dispatch or destroy.
void Acting(void* user, FINotifyType type) {
    Called(user, type);
    State& state = *g_state;
    for (unsigned n = state.in->Pick(3); n > 0 && state.actionsLeft > 0; --n) {
        --state.actionsLeft;
        Act(state);
    }
}

// An observer that only listens, so that detaching is seen to ignore the callback.
void Listening(void* user, FINotifyType type) {
    Called(user, type);
}

void Dispatch(State& state, int arg) {
    state.model.passes.push_back({arg, 0});
    reinterpret_cast<void (*)(int)>(state.slot)(arg);
    state.model.PassEnded();
}

FITopEntry* MakeEntry(State& state, int index) {
    return FITopEntry::Create(nullptr, index < 2 ? &state.slot : nullptr);
}

void Act(State& state) {
    qorfuzz::Input& in = *state.in;
    static const int k_types[] = {0, 1, 2, 7};
    static const int k_args[] = {0, 1, 7, -1};
    const int e = static_cast<int>(in.Pick(k_entries));
    FI::ObjectPtr<FI::Entry>& entry = state.entries[e];
    void* user = &state.users[in.Pick(k_users)];
    const auto type = static_cast<FINotifyType>(k_types[in.Pick(4)]);
    switch (in.Pick(6)) {
    case 0:
    case 1: {
        if (!entry) {
            break;
        }
        const unsigned which = in.Pick(5);
        const FIEntryNotifyProc callback = which == 0 ? nullptr : which < 3 ? Acting : Listening;
        const bool added = entry->AttachNotify(user, type, callback);
        FUZZ_CHECK(added == (e < 2 && callback != nullptr));
        if (added) {
            state.model.records.push_back({user, type, true});
        }
        break;
    }
    case 2:
    case 3:
        if (entry) {
            const bool detached = entry->DetachNotify(user, type);
            FUZZ_CHECK(detached == (e < 2 && state.model.Detach(user, type)));
        }
        break;
    case 4:
        if (state.model.passes.size() < k_maxDepth) {
            Dispatch(state, k_args[in.Pick(4)]);
        }
        break;
    default:
        if (entry) {
            entry.reset();
            state.model.EntryDestroyed();
        } else {
            entry = MakeEntry(state, e);
        }
        break;
    }
}

// Outside a pass the list holds exactly the model's records, all active, and no flag is set.
void VerifyIdle(const State& state) {
    FUZZ_CHECK(!ObserverList::Delaying());
    FUZZ_CHECK(!ObserverList::NeedDelete());
    const auto& records = ObserverList::Records();
    FUZZ_CHECK(records.size() == state.model.records.size());
    size_t k = 0;
    for (const auto& record : records) {
        const Record& expected = state.model.records[k++];
        FUZZ_CHECK(record->m_bActive && expected.active);
        FUZZ_CHECK(record->m_pUser == expected.user);
        FUZZ_CHECK(record->m_type == expected.type);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorfuzz::Input in(data, size);
    State state;
    state.in = &in;
    state.actionsLeft = k_maxActions;
    g_state = &state;
    for (int e = 0; e < k_entries; ++e) {
        state.entries[e] = MakeEntry(state, e);
    }
    // Records left by an earlier input go with the first destruction.
    state.entries[2].reset();
    state.entries[2] = MakeEntry(state, 2);
    VerifyIdle(state);
    for (int step = 0; step < 200 && !in.empty(); ++step) {
        Act(state);
        VerifyIdle(state);
    }
    for (auto& entry : state.entries) {
        entry.reset();
    }
    FUZZ_CHECK(ObserverList::Records().empty());
    g_state = nullptr;
    return 0;
}
