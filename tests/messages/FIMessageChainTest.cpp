#include <QorUtils/messages/FIMessageChain.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using FI::FIMessageChain;
using FI::FIMessageInfo;
using FI::FIMessageSeverity;

namespace {

FIMessageSeverity Severity(int value) {
    return static_cast<FIMessageSeverity>(value);
}

// The chain as "severity param1 param2 text" lines, "(null)" for a message without text.
std::vector<std::string> Lines(const FIMessageChain& chain) {
    std::vector<std::string> lines;
    for (int i = 0; i < chain.Count(); ++i) {
        const FIMessageInfo* message = chain.Get(i);
        lines.push_back(std::to_string(message->nSeverity) + " " +
                        std::to_string(message->nParam1) + " " + std::to_string(message->nParam2) +
                        " " + (message->pszText != nullptr ? message->pszText : "(null)"));
    }
    return lines;
}

FIMessageChain ChainOf(const std::vector<const char*>& texts) {
    FIMessageChain chain;
    int n = 0;
    for (const char* text : texts) {
        chain.Add(Severity(n), n * 10, n * 100, text);
        ++n;
    }
    return chain;
}

} // namespace

TEST(FIMessageInfo, DefaultsAreUnsetSeverityMinusOneAndNoText) {
    FIMessageInfo message;
    EXPECT_EQ(message.nSeverity, -2);
    EXPECT_EQ(message.nParam1, -1);
    EXPECT_EQ(message.nParam2, -1);
    EXPECT_EQ(message.pszText, nullptr);
}

TEST(FIMessageInfo, CopyAssignmentOwnsItsOwnText) {
    auto source = std::make_unique<FIMessageInfo>();
    source->nSeverity = Severity(3);
    source->pszText = new char[6];
    std::strcpy(source->pszText, "hello");
    FIMessageInfo target;
    target = *source;
    FIMessageInfo& alias = target;
    target = alias;
    source.reset();
    EXPECT_EQ(target.nSeverity, 3);
    EXPECT_STREQ(target.pszText, "hello");
}

TEST(FIMessageChain, NewChainIsEmptyAndIgnoresEveryPosition) {
    FIMessageChain chain;
    EXPECT_EQ(chain.Count(), 0);
    EXPECT_EQ(chain.Get(0), nullptr);
    EXPECT_EQ(chain.Get(-1), nullptr);
    chain.RemoveAt(0);
    chain.RemoveAt(-1);
    EXPECT_EQ(chain.Count(), 0);
}

TEST(FIMessageChain, AddKeepsItsOwnCopyOfTheText) {
    FIMessageChain chain;
    char buffer[] = "Not Supported";
    chain.Add(FI::FIMessageNotSupported, 0, 0, buffer);
    std::memset(buffer, 'x', sizeof buffer - 1);
    ASSERT_EQ(chain.Count(), 1);
    const FIMessageInfo* message = chain.Get(0);
    EXPECT_EQ(message->nSeverity, -1);
    EXPECT_EQ(message->nParam1, 0);
    EXPECT_EQ(message->nParam2, 0);
    EXPECT_STREQ(message->pszText, "Not Supported");
    EXPECT_NE(message->pszText, buffer);
}

TEST(FIMessageChain, KeepsTheOrderOfTheAppendsAndNullTexts) {
    FIMessageChain chain = ChainOf({"A", nullptr, "", "D", "E"});
    EXPECT_EQ(Lines(chain), (std::vector<std::string>{"0 0 0 A", "1 10 100 (null)", "2 20 200 ",
                                                      "3 30 300 D", "4 40 400 E"}));
}

TEST(FIMessageChain, GetAnswersNullOutsideTheChain) {
    const FIMessageChain chain = ChainOf({"A", "B", "C"});
    for (int index : {-1000, -1, 3, 4, 1 << 30}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(chain.Get(index), nullptr);
    }
    EXPECT_STREQ(chain.Get(2)->pszText, "C");
}

TEST(FIMessageChain, PointersFromGetStayValidWhileMessagesAreAdded) {
    FIMessageChain chain;
    chain.Add(Severity(1), 1, 1, "first");
    const FIMessageInfo* first = chain.Get(0);
    const char* text = first->pszText;
    for (int i = 0; i < 10000; ++i) {
        chain.Add(Severity(2), i, i, "more");
    }
    EXPECT_EQ(chain.Get(0), first);
    EXPECT_EQ(first->pszText, text);
    EXPECT_STREQ(first->pszText, "first");
}

TEST(FIMessageChain, RemoveAtClosesTheGapAndIgnoresPositionsOutside) {
    struct Case {
        int index;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {1, {"0 0 0 A", "2 20 200 C"}},
        {0, {"1 10 100 B", "2 20 200 C"}},
        {2, {"0 0 0 A", "1 10 100 B"}},
        {3, {"0 0 0 A", "1 10 100 B", "2 20 200 C"}},
        {-1, {"0 0 0 A", "1 10 100 B", "2 20 200 C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        FIMessageChain chain = ChainOf({"A", "B", "C"});
        chain.RemoveAt(c.index);
        EXPECT_EQ(Lines(chain), c.expected);
    }
    FIMessageChain chain = ChainOf({"A", "B", "C"});
    chain.RemoveAt(1);
    EXPECT_STREQ(chain.Get(1)->pszText, "C");
}

TEST(FIMessageChain, CopyOutlivesItsSourceWithoutSharing) {
    auto source = std::make_unique<FIMessageChain>(ChainOf({"A", nullptr, "C"}));
    FIMessageChain copy(*source);
    ASSERT_EQ(copy.Count(), 3);
    EXPECT_NE(copy.Get(0), source->Get(0));
    EXPECT_NE(copy.Get(0)->pszText, source->Get(0)->pszText);
    source->Get(0)->pszText[0] = 'Z';
    source.reset();
    EXPECT_EQ(Lines(copy), (std::vector<std::string>{"0 0 0 A", "1 10 100 (null)", "2 20 200 C"}));
}

TEST(FIMessageChain, SourceOutlivesItsAssignedCopy) {
    FIMessageChain source = ChainOf({"A", "B"});
    {
        FIMessageChain copy = ChainOf({"old 1", "old 2", "old 3"});
        copy = source;
        EXPECT_EQ(Lines(copy), Lines(source));
        copy.RemoveAt(0);
    }
    EXPECT_EQ(Lines(source), (std::vector<std::string>{"0 0 0 A", "1 10 100 B"}));
}

TEST(FIMessageChain, SelfAssignmentChangesNothing) {
    FIMessageChain chain = ChainOf({"A", "B"});
    const FIMessageInfo* first = chain.Get(0);
    FIMessageChain& alias = chain;
    EXPECT_EQ(&(chain = alias), &chain);
    EXPECT_EQ(chain.Get(0), first);
    EXPECT_EQ(Lines(chain), (std::vector<std::string>{"0 0 0 A", "1 10 100 B"}));
}
