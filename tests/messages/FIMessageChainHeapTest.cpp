// The message chain when memory runs out, each allocation refused in turn: Add adds nothing,
// a copy starts empty, an assignment leaves its target as it was, a copied message goes
// without its text, and nothing leaks.
#include <QorUtils/messages/FIMessageChain.h>

#include "support/FailingHeap.h"

#include <gtest/gtest.h>

#include <cstring>

using FI::FIMessageChain;
using FI::FIMessageInfo;

namespace {

FI::FIMessageSeverity Severity(int value) {
    return static_cast<FI::FIMessageSeverity>(value);
}

bool SameText(const char* a, const char* b) {
    return (a == nullptr && b == nullptr) ||
           (a != nullptr && b != nullptr && std::strcmp(a, b) == 0);
}

// Compares without allocating, as the comparison runs while allocations are refused.
bool SameChain(const FIMessageChain& a, const FIMessageChain& b) {
    if (a.Count() != b.Count()) {
        return false;
    }
    for (int i = 0; i < a.Count(); ++i) {
        const FIMessageInfo* x = a.Get(i);
        const FIMessageInfo* y = b.Get(i);
        if (x->nSeverity != y->nSeverity || x->nParam1 != y->nParam1 || x->nParam2 != y->nParam2 ||
            !SameText(x->pszText, y->pszText)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(FIMessageChainHeap, EveryRefusedAllocationLeavesWholeChains) {
    if (!qortest::HeapCanRefuse()) {
        GTEST_SKIP() << "the sanitizer owns malloc in this build; refusals are tested in the "
                        "normal build";
    }
    FIMessageChain source;
    source.Add(Severity(1), 10, 100, "one");
    source.Add(Severity(2), 20, 200, nullptr);
    source.Add(Severity(3), 30, 300, "three");
    FIMessageChain old;
    old.Add(Severity(9), 9, 9, "old");
    for (int index = 0;; ++index) {
        SCOPED_TRACE(index);
        int outcomes[4] = {};
        const qortest::HeapUse use = qortest::HeapUseOf(
            [&] {
                FIMessageChain target;
                target.Add(Severity(9), 9, 9, "old");
                outcomes[0] = target.Count() == 1 ? 1 : target.Count() == 0 ? 2 : 0;
                const FIMessageChain copy(source);
                outcomes[1] = SameChain(copy, source) ? 1 : copy.Count() == 0 ? 2 : 0;
                const FIMessageChain before(target);
                target = source;
                outcomes[2] = SameChain(target, source) ? 1 : SameChain(target, before) ? 2 : 0;
                const FIMessageInfo info(*source.Get(0));
                outcomes[3] = info.nSeverity == 1 && info.nParam1 == 10 && info.nParam2 == 100 &&
                                      (info.pszText == nullptr || SameText(info.pszText, "one"))
                                  ? 1
                                  : 0;
            },
            {qortest::Refusal::Only, index});
        EXPECT_NE(outcomes[0], 0) << "Add adds the message or nothing";
        EXPECT_NE(outcomes[1], 0) << "a copy is whole or empty";
        EXPECT_NE(outcomes[2], 0) << "an assignment is whole or changes nothing";
        EXPECT_NE(outcomes[3], 0) << "a copied message keeps its numbers";
        EXPECT_EQ(use.live, 0);
        if (use.allocations <= index) {
            break;
        }
    }
}
