// Small counted implementations of the object model's interfaces for tests: each counts its live
// instances, so a test can check that everything it made was destroyed exactly once.
#pragma once

#include <QorUtils/object/AttrCursor.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/Solver.h>

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

namespace qortest {

// Reference counting as the library's objects do it: count 0 when made, destroyed by the Release
// that brings it back to 0. s_live counts the instances of each Base that exist.
template <class Base> class Counted : public Base {
public:
    static inline int s_live = 0;

    Counted() { ++s_live; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    ~Counted() override { --s_live; }

    int AddRef() override { return ++m_nRef; }
    // Never inlined: GCC 16 inlines it speculatively into a release of any object through the
    // same interface (the library's own included) and then warns that those are too small.
    [[gnu::noinline]] int Release() override {
        if (--m_nRef == 0) {
            delete this;
            return 0;
        }
        return m_nRef;
    }
    int Count() const { return m_nRef; }

private:
    int m_nRef = 0;
};

// An entry with a fixed name that overrides nothing optional: every default shows through.
class TestEntry : public Counted<FI::Entry> {
public:
    explicit TestEntry(const FIAttribute& name = FIAttribute()) : m_name(name) {}

    FIAttribute& GetName(FIAttribute& name) const override { return name = m_name; }
    FIAttribute& GetNamedAttribute(const FIAttribute&, FIAttribute& value) override {
        return value.Clear();
    }
    const FI::ObjectPtr<FI::AttrCol> GetAttributeCollection() const override { return nullptr; }
    FI::ObjectPtr<FI::Context> GetContext() override { return nullptr; }

private:
    FIAttribute m_name;
};

// A context over nothing, whose cursors are TestEntryCursor over no names.
class TestContext : public Counted<FI::Context> {
public:
    ~TestContext() override {
        if (onDestroy) {
            onDestroy();
        }
    }
    FI::EntryCursor CreateCursor(FI::InclIds) override;

    // Runs in the destructor, as a host's destructor would.
    std::function<void()> onDestroy;
};

// An entry cursor over a list of names; its entries are TestEntry objects named after them.
class TestEntryCursor : public Counted<FI::EntryCursorImpl> {
public:
    explicit TestEntryCursor(std::vector<std::string> names, size_t position = 0)
        : m_names(std::move(names)), m_position(position) {}

    const std::type_info& TypeId() override { return typeid(TestEntryCursor); }
    FI::EntryCursorImpl* Clone(bool bDeep) override;
    bool Seek(int origin, int steps) override;
    bool SeekName(int mode, const std::string& name) override;
    bool SeekElement(int mode, const FI::ObjectPtr<FI::Entry>& entry) override;
    bool AtFirst() override { return m_position == 0 && !AtEnd(); }
    bool AtEnd() override { return m_position >= m_names.size(); }
    int Compare(const FI::EntryCursorImpl& other) override;
    FIAttribute& GetName(FIAttribute& name) override;
    FI::ObjectPtr<FI::Entry> GetEntry() override;

protected:
    std::vector<std::string> m_names;
    size_t m_position;
};

// The same walk as another class, so that comparisons across classes can be seen.
class OtherEntryCursor : public TestEntryCursor {
public:
    using TestEntryCursor::TestEntryCursor;
    const std::type_info& TypeId() override { return typeid(OtherEntryCursor); }
};

// An attribute cursor over name=value pairs (values are the names upper-cased).
class TestAttrCursor : public Counted<FI::AttrCursorImpl> {
public:
    explicit TestAttrCursor(std::vector<std::string> names, size_t position = 0)
        : m_names(std::move(names)), m_position(position) {}

    const std::type_info& TypeId() override { return typeid(TestAttrCursor); }
    FI::AttrCursorImpl* Clone(bool bDeep) override;
    bool Seek(int origin, int steps) override;
    bool SeekName(int mode, const std::string& name) override;
    bool SeekElement(int mode, const std::string& element) override {
        return SeekName(mode, element);
    }
    bool AtFirst() override { return m_position == 0 && !AtEnd(); }
    bool AtEnd() override { return m_position >= m_names.size(); }
    int Compare(const FI::AttrCursorImpl& other) override;
    FIAttribute& GetName(FIAttribute& name) override;
    FIAttribute& GetValue(FIAttribute& value) override;

private:
    std::vector<std::string> m_names;
    size_t m_position;
};

// A solver that implements only what the library leaves abstract; s_deleted counts deletions.
class TestSolver : public FI::Solver {
public:
    static inline int s_deleted = 0;
    ~TestSolver() override {
        ++s_deleted;
        if (onDestroy) {
            onDestroy();
        }
    }

    FIAttribute& GetSolverName(FIAttribute& name) override { return name = "test"; }
    bool Initialize(FI::FIMessageChain&) override { return true; }
    void Terminate() override {}
    bool IsRunning() override { return false; }
    FI::FIMessageChain& CollectMessages(FI::FIMessageChain& messages) override { return messages; }

    // Runs in the destructor, as a host's destructor would.
    std::function<void()> onDestroy;
};

} // namespace qortest
