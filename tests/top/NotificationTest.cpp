#include <QorUtils/top/FITopEntry.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using FI::ObjectPtr;

namespace {

// Reads the process-wide observer state that FITopEntry keeps to itself.
struct ObserverList : FITopEntry {
    static size_t Size() { return m_notifies.size(); }
    static bool Delaying() { return m_bDelayDelete; }
    static bool NeedDelete() { return m_bNeedDelete; }
};

using Log = std::vector<std::string>;

// An observer: its calls go to a shared log as "name:type", and `action` runs on each call.
struct Observer {
    std::string name;
    Log* log;
    std::function<void()> action;
};

void Record(void* user, FINotifyType type) {
    auto* observer = static_cast<Observer*>(user);
    observer->log->push_back(observer->name + ":" + std::to_string(type));
    if (observer->action) {
        observer->action();
    }
}

void RecordAgain(void* user, FINotifyType type) {
    auto* observer = static_cast<Observer*>(user);
    observer->log->push_back(observer->name + "':" + std::to_string(type));
}

FINotifyType Type(int value) {
    return static_cast<FINotifyType>(value);
}

class NotificationTest : public testing::Test {
protected:
    void SetUp() override {
        EmptyTheList();
        entry = FITopEntry::Create(nullptr, &slot);
    }
    void TearDown() override {
        entry.reset();
        EXPECT_EQ(ObserverList::Size(), 0u);
        EXPECT_FALSE(ObserverList::Delaying());
        EXPECT_FALSE(ObserverList::NeedDelete());
    }
    // Destroying any top entry empties the list.
    static void EmptyTheList() {
        ObjectPtr<FI::Entry> discarded(FITopEntry::Create(nullptr, nullptr));
    }

    // What the host does: call the dispatcher through the slot that Create filled.
    void Notify(int arg) { reinterpret_cast<void (*)(int)>(slot)(arg); }

    Observer Make(const std::string& name) { return Observer{name, &log, nullptr}; }
    bool Attach(Observer& observer, int type) {
        return entry->AttachNotify(&observer, Type(type), Record);
    }
    bool Detach(Observer& observer, int type) { return entry->DetachNotify(&observer, Type(type)); }

    void (*slot)() = nullptr;
    ObjectPtr<FI::Entry> entry;
    Log log;
};

} // namespace

TEST_F(NotificationTest, ArgumentSelectsObserversByType) {
    Observer zero = Make("zero"), one = Make("one"), two = Make("two"), zero2 = Make("zero2");
    ASSERT_NE(slot, nullptr);
    Notify(0);
    EXPECT_FALSE(ObserverList::Delaying()) << "a pass over an empty list leaves the flags alone";
    ASSERT_TRUE(Attach(two, 2));
    ASSERT_TRUE(Attach(zero, 0));
    ASSERT_TRUE(Attach(one, 1));
    ASSERT_TRUE(Attach(zero2, 0));

    Notify(1);
    EXPECT_EQ(log, (Log{"zero:0", "zero2:0"}));
    log.clear();
    Notify(0);
    EXPECT_EQ(log, (Log{"two:2", "one:1"})) << "in attachment order, each with its own type";
    log.clear();
    Notify(7);
    Notify(-3);
    EXPECT_EQ(log, (Log{"zero:0", "zero2:0", "zero:0", "zero2:0"}));
}

TEST_F(NotificationTest, TwiceAttachedObserverIsCalledTwiceAndDetachedOldestFirst) {
    Observer twice = Make("twice");
    ASSERT_TRUE(Attach(twice, 1));
    ASSERT_TRUE(entry->AttachNotify(&twice, Type(1), RecordAgain));
    Notify(0);
    EXPECT_EQ(log, (Log{"twice:1", "twice':1"}));

    log.clear();
    EXPECT_TRUE(Detach(twice, 1));
    Notify(0);
    EXPECT_EQ(log, (Log{"twice':1"})) << "the older record went, whatever its callback";
    EXPECT_FALSE(Detach(twice, 2)) << "right pointer, other type";
    EXPECT_TRUE(Detach(twice, 1));
    EXPECT_FALSE(Detach(twice, 1));
    EXPECT_EQ(ObserverList::Size(), 0u);
}

TEST_F(NotificationTest, DetachDuringAPassIsDeferredToItsEnd) {
    Observer self = Make("self"), later = Make("later"), last = Make("last");
    std::vector<bool> results;
    self.action = [&] {
        results.push_back(Detach(self, 1));
        results.push_back(Detach(self, 1));
        results.push_back(Detach(later, 1));
        EXPECT_TRUE(ObserverList::Delaying());
        EXPECT_EQ(ObserverList::Size(), 3u) << "nothing is freed during the pass";
    };
    Attach(self, 1);
    Attach(later, 1);
    Attach(last, 1);

    Notify(0);
    EXPECT_EQ(log, (Log{"self:1", "last:1"}));
    EXPECT_EQ(results, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(ObserverList::Size(), 1u);
    EXPECT_FALSE(ObserverList::NeedDelete());

    log.clear();
    Notify(0);
    EXPECT_EQ(log, (Log{"last:1"}));
}

TEST_F(NotificationTest, ObserverAttachedDuringAPassIsCalledInIt) {
    Observer first = Make("first"), added = Make("added"), other = Make("other");
    bool done = false;
    first.action = [&] {
        if (std::exchange(done, true)) {
            return;
        }
        Attach(added, 1);
        Attach(other, 0);
    };
    Attach(first, 2);

    Notify(0);
    EXPECT_EQ(log, (Log{"first:2", "added:1"}));
    EXPECT_EQ(ObserverList::Size(), 3u);
}

TEST_F(NotificationTest, AnotherEnabledEntrySharesTheList) {
    void (*otherSlot)() = nullptr;
    ObjectPtr<FI::Entry> other(FITopEntry::Create(nullptr, &otherSlot));
    EXPECT_EQ(otherSlot, slot) << "every slot receives the same dispatcher";
    Observer observer = Make("observer");
    ASSERT_TRUE(Attach(observer, 0));
    reinterpret_cast<void (*)(int)>(otherSlot)(1);
    EXPECT_EQ(log, (Log{"observer:0"}));

    EXPECT_TRUE(other->DetachNotify(&observer, Type(0)));
    EXPECT_EQ(ObserverList::Size(), 0u);

    Attach(observer, 1);
    other.reset();
    EXPECT_EQ(ObserverList::Size(), 0u) << "destroying any top entry empties the list";
}

TEST_F(NotificationTest, EntryWithoutASlotOrCallbackRefuses) {
    ObjectPtr<FI::Entry> silent(FITopEntry::Create(nullptr, nullptr));
    Observer observer = Make("observer");
    EXPECT_FALSE(silent->AttachNotify(&observer, Type(0), Record));
    EXPECT_EQ(ObserverList::Size(), 0u);
    ASSERT_TRUE(Attach(observer, 0));
    EXPECT_FALSE(silent->DetachNotify(&observer, Type(0)));
    EXPECT_EQ(ObserverList::Size(), 1u);

    EXPECT_FALSE(entry->AttachNotify(&observer, Type(1), nullptr));
    EXPECT_EQ(ObserverList::Size(), 1u);
}

TEST_F(NotificationTest, NestedPassFreesNothingUnderTheOuterPass) {
    Observer outer = Make("outer"), victim = Make("victim"), tail = Make("tail");
    bool done = false;
    outer.action = [&] {
        if (std::exchange(done, true)) {
            return;
        }
        Detach(victim, 1);
        Notify(0);
        EXPECT_TRUE(ObserverList::Delaying()) << "the outer pass still runs";
        EXPECT_EQ(ObserverList::Size(), 3u);
    };
    Attach(outer, 1);
    Attach(victim, 1);
    Attach(tail, 1);

    Notify(0);
    EXPECT_EQ(log, (Log{"outer:1", "outer:1", "tail:1", "tail:1"}));
    EXPECT_EQ(ObserverList::Size(), 2u) << "removed when the outermost pass ended";
}

TEST_F(NotificationTest, EntryDestroyedDuringAPassSilencesEveryRecord) {
    ObjectPtr<FI::Entry> doomed(FITopEntry::Create(nullptr, nullptr));
    Observer killer = Make("killer"), next = Make("next");
    killer.action = [&] {
        doomed.reset();
        EXPECT_EQ(ObserverList::Size(), 2u) << "nothing is freed during the pass";
    };
    Attach(killer, 1);
    Attach(next, 1);

    Notify(0);
    EXPECT_EQ(log, (Log{"killer:1"}));
    EXPECT_EQ(ObserverList::Size(), 0u);
    EXPECT_FALSE(Detach(killer, 1));
}
