#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/FakeSAX.h"
#include "support/RecordingHandler.h"
#include "support/ScopedLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using qortest::Characters;
using qortest::EndElement;
using qortest::FakeAttributes;
using qortest::Grammar;
using qortest::RecordingHandler;
using qortest::StartElement;
using qortest::Utf16;
using Lines = std::vector<std::string>;

namespace {

// A content adapter over a TopHandler over a recording root handler named `root`. The log
// goes to a scratch file so that warnings land nowhere shared.
class Tree {
public:
    Tree(Grammar grammar, const std::string& root) : m_grammar(std::move(grammar)) {
        m_adapter = new SAXContentHandlerImpl(
            new TopHandler(new RecordingHandler(root, m_grammar, m_transcript)));
    }
    ~Tree() { Destroy(); }

    MSXML2::ISAXContentHandler* operator->() { return m_adapter; }
    MSXML2::ISAXContentHandler* get() { return m_adapter; }
    void Destroy() {
        if (m_adapter != nullptr) {
            m_adapter->Release();
            m_adapter = nullptr;
        }
    }
    // The lines recorded since the last call.
    Lines Take() { return std::exchange(m_transcript.lines, {}); }
    int live() const { return m_transcript.live; }

private:
    qortest::ScopedLog m_log;
    RecordingHandler::Transcript m_transcript;
    Grammar m_grammar;
    SAXContentHandlerImpl* m_adapter;
};

struct Counts {
    int accepted = 0;
    int ended = 0;
    int live = 0;
    int deepestText = 0;
};

// Accepts every element and, like a handler of nested elements, adds a fresh child for the
// elements inside it each time; records only counts, so that it scales to deep documents.
class NestingHandler : public ElementHandler {
public:
    NestingHandler(Counts& counts, int depth = 1) : m_counts(counts), m_depth(depth) {
        ++m_counts.live;
    }
    ~NestingHandler() override { --m_counts.live; }

    bool HandleElement(char*, MSXML2::ISAXAttributes*, MSXML2::ISAXLocator*) override {
        ++m_counts.accepted;
        AddHandler(new NestingHandler(m_counts, m_depth + 1));
        return true;
    }
    void HandleText(char*, MSXML2::ISAXLocator*) override { m_counts.deepestText = m_depth; }
    void HandleEndElement(MSXML2::ISAXLocator*) override { ++m_counts.ended; }

private:
    Counts& m_counts;
    int m_depth;
};

} // namespace

TEST(ElementHandler, RefusedSubtreeReachesNobody) {
    Tree tree({{"root", {{"a"}}}}, "root");
    StartElement(tree.get(), "root");
    StartElement(tree.get(), "x");
    Characters(tree.get(), "hidden");
    StartElement(tree.get(), "a");
    Characters(tree.get(), "hidden too");
    StartElement(tree.get(), "x");
    EndElement(tree.get(), "x");
    EndElement(tree.get(), "a");
    EndElement(tree.get(), "x");
    StartElement(tree.get(), "a");
    Characters(tree.get(), "seen");
    EndElement(tree.get(), "a");
    EndElement(tree.get(), "root");
    tree.Destroy();
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "a#2 accepts a", "a#2 text 'seen'",
                                  "a#2 end", "root#1 end", "a#2 deleted", "root#1 deleted"}));
    EXPECT_EQ(tree.live(), 0);
}

TEST(ElementHandler, RefusedElementIsReportedOnceWithoutItsDescendants) {
    Grammar grammar{{"root", {{"a"}, {}, true}}};
    Tree tree(grammar, "root");
    StartElement(tree.get(), "root");
    StartElement(tree.get(), "x");
    StartElement(tree.get(), "y");
    StartElement(tree.get(), "z");
    EndElement(tree.get(), "z");
    EndElement(tree.get(), "y");
    EndElement(tree.get(), "x");
    StartElement(tree.get(), "w");
    EndElement(tree.get(), "w");
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "root#1 unknown x", "root#1 unknown w"}));
}

TEST(ElementHandler, TopRefusingTheRootSkipsTheDocumentSilently) {
    Tree tree({{"root", {{"a"}}}}, "root");
    StartElement(tree.get(), "other");
    StartElement(tree.get(), "a");
    Characters(tree.get(), "text");
    EndElement(tree.get(), "a");
    EndElement(tree.get(), "other");
    StartElement(tree.get(), "root");
    EndElement(tree.get(), "root");
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "root#1 end", "a#2 deleted"}));
}

TEST(ElementHandler, SiblingsReuseTheAcceptingChildWhoseChildrenAreRenewed) {
    Tree tree({{"root", {{"item"}}}, {"item", {{"sub"}}}}, "root");
    StartElement(tree.get(), "root");
    for (int i = 0; i < 2; ++i) {
        StartElement(tree.get(), "item");
        StartElement(tree.get(), "sub");
        EndElement(tree.get(), "sub");
        EndElement(tree.get(), "item");
    }
    EndElement(tree.get(), "root");
    EXPECT_EQ(tree.Take(),
              (Lines{"root#1 accepts root", "item#2 accepts item", "sub#3 accepts sub", "sub#3 end",
                     "item#2 end", "sub#3 deleted", "item#2 accepts item", "sub#4 accepts sub",
                     "sub#4 end", "item#2 end", "sub#4 deleted", "root#1 end", "item#2 deleted"}));
    EXPECT_EQ(tree.live(), 1) << "the root handler lives until the tree goes";
}

TEST(ElementHandler, ChildrenAreOfferedInOrderAndTheFirstAcceptingWins) {
    Tree tree({{"root", {{"x", "*", "y"}}}}, "root");
    StartElement(tree.get(), "root");
    StartElement(tree.get(), "y");
    EndElement(tree.get(), "y");
    StartElement(tree.get(), "x");
    EndElement(tree.get(), "x");
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "*#3 accepts y", "*#3 end",
                                  "x#2 accepts x", "x#2 end"}));
}

TEST(ElementHandler, TextArrivesPieceByPieceToTheInnermostHandler) {
    Tree tree({{"root", {{"a"}}}}, "root");
    StartElement(tree.get(), "root");
    Characters(tree.get(), "before ");
    StartElement(tree.get(), "a");
    Characters(tree.get(), "one");
    Characters(tree.get(), "");
    Characters(tree.get(), "two");
    EndElement(tree.get(), "a");
    Characters(tree.get(), "after");
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "root#1 text 'before '", "a#2 accepts a",
                                  "a#2 text 'one'", "a#2 text ''", "a#2 text 'two'", "a#2 end",
                                  "root#1 text 'after'"}));
}

TEST(ElementHandler, ElementsAreMatchedByLocalName) {
    Tree tree({{"root", {{"a"}}}}, "root");
    StartElement(tree.get(), "p:root");
    StartElement(tree.get(), "q:a");
    EndElement(tree.get(), "q:a");
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "a#2 accepts a", "a#2 end"}));
}

// Also from attributes whose QueryInterface answers every identifier carelessly, with
// themselves or with another face.
TEST(ElementHandler, AttributesAreFoundByLocalNameFirstListedFirst) {
    Grammar grammar{{"e", {{}, {"id", "p:id", "dup", "missing"}}}};
    qortest::FakeLocator otherFace(1, 1, "");
    enum Answer { AsAsked, Itself, OtherFace };
    for (const Answer answer : {AsAsked, Itself, OtherFace}) {
        Tree tree(grammar, "e");
        FakeAttributes attributes{{"p:id", "7"}, {"a:dup", "first"}, {"b:dup", "second"}};
        if (answer != AsAsked) {
            attributes.carelessAnswer =
                answer == Itself ? static_cast<IUnknown*>(&attributes) : &otherFace;
        }
        StartElement(tree.get(), "e", &attributes);
        EXPECT_EQ(tree.Take(), (Lines{"e#1 accepts e", "e#1 attr id=7", "e#1 attr p:id=(null)",
                                      "e#1 attr dup=first", "e#1 attr missing=(null)"}));
        EXPECT_EQ(attributes.refs(), 0);
    }
}

namespace {

// Looks its attribute up by a name that the value to fill holds, as a handler that swaps a key
// for its value in place does; records what it found.
class NameInValueHandler : public ElementHandler {
public:
    explicit NameInValueHandler(std::string& found) : m_found(found) {}

    bool HandleElement(char*, MSXML2::ISAXAttributes* attributes, MSXML2::ISAXLocator*) override {
        FIAttribute value(std::string(40, 'k').c_str());
        GetAttributeValue(value.c_str(), attributes, value);
        m_found = qortest::Describe(value);
        return true;
    }

private:
    std::string& m_found;
};

} // namespace

TEST(ElementHandler, ANameHeldByTheValueToFillIsFound) {
    const std::string name(40, 'k');
    for (const bool reader : {true, false}) {
        std::string found;
        auto* content = new SAXContentHandlerImpl(new TopHandler(new NameInValueHandler(found)));
        if (reader) {
            const std::string document = "<e " + name + "='utf-8'/>";
            MSXML2::SAXXMLReader parser;
            parser.putContentHandler(content);
            EXPECT_EQ(parser.parse(document.data(), document.size()), S_OK);
        } else {
            FakeAttributes attributes{{name, "utf-16"}};
            StartElement(content, "e", &attributes);
        }
        content->Release();
        EXPECT_EQ(found, reader ? "short text 'utf-8'" : "short text 'utf-16'");
    }
}

TEST(ElementHandler, NamesTextsAndValuesAreCutAt4096Characters) {
    const std::string longName(5000, 'n');
    const std::string cutName(4096, 'n');
    Grammar grammar{{"*", {{}, {cutName}}}};
    Tree tree(grammar, "*");
    FakeAttributes attributes{{longName, std::string(4095, 'v') + "xyz"}};
    StartElement(tree.get(), longName, &attributes);
    Characters(tree.get(), std::string(4096, 't') + "lost");
    EXPECT_EQ(tree.Take(), (Lines{"*#1 accepts " + cutName,
                                  "*#1 attr " + cutName + "=" + std::string(4095, 'v') + "x",
                                  "*#1 text '" + std::string(4096, 't') + "'"}));
}

TEST(ElementHandler, WideCharactersNarrowToQuestionMarks) {
    Tree tree({{"root", {}}}, "root");
    StartElement(tree.get(), "root");
    struct Case {
        std::vector<unsigned short> units;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{'a', 0xE9, 0xFF, 'b'},
         "a\xE9\xFF"
         "b"},
        {{'a', 0x100, 0x20AC, 'b'}, "a??b"},
        {{'a', 0xD83D, 0xDE00, 'b'}, "a?b"},
        {{0xDE00, 0xD83D, 'c'}, "??c"},
        {{'x', 0xD83D}, "x?"},
        {{'a', 0, 'b'}, "a"},
    };
    for (const Case& c : cases) {
        Characters(tree.get(), Utf16::FromUnits(c.units));
    }
    Lines expected{"root#1 accepts root"};
    for (const Case& c : cases) {
        expected.push_back("root#1 text '" + c.expected + "'");
    }
    EXPECT_EQ(tree.Take(), expected);
}

TEST(ElementHandler, NarrowingIsExactAtEveryPositionOfALongText) {
    Tree tree({{"root", {}}}, "root");
    StartElement(tree.get(), "root");
    const std::string plain = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ";
    Lines expected{"root#1 accepts root"};
    for (size_t at = 0; at < plain.size(); ++at) {
        std::vector<unsigned short> units(plain.begin(), plain.end());
        std::string narrowed = plain;
        units[at] = 0x100;
        narrowed[at] = '?';
        Characters(tree.get(), Utf16::FromUnits(units));
        expected.push_back("root#1 text '" + narrowed + "'");
        units[at] = 0;
        Characters(tree.get(), Utf16::FromUnits(units));
        expected.push_back("root#1 text '" + plain.substr(0, at) + "'");
        units[at] = 0xFF;
        narrowed[at] = '\xFF';
        Characters(tree.get(), Utf16::FromUnits(units));
        expected.push_back("root#1 text '" + narrowed + "'");
        if (at + 1 < plain.size()) {
            units[at] = 0xD83D;
            units[at + 1] = 0xDE00;
            Characters(tree.get(), Utf16::FromUnits(units));
            expected.push_back("root#1 text '" + plain.substr(0, at) + "?" + plain.substr(at + 2) +
                               "'");
        }
    }
    EXPECT_EQ(tree.Take(), expected);
}

TEST(ElementHandler, ElementsThatNeverEndedAreReleasedWithTheTree) {
    Tree tree({{"root", {{"a", "b"}}}, {"a", {{"a"}}}}, "root");
    StartElement(tree.get(), "root");
    StartElement(tree.get(), "a");
    StartElement(tree.get(), "a");
    StartElement(tree.get(), "skipped");
    tree.Take();
    tree.Destroy();
    EXPECT_EQ(tree.live(), 0);
    EXPECT_EQ(tree.Take().size(), 5u) << "root, a, b, a's child a and its child a: once each";
}

TEST(ElementHandler, StrayEndReleasesTheRootOnce) {
    Tree tree({{"root", {}}}, "root");
    StartElement(tree.get(), "root");
    EndElement(tree.get(), "root");
    EndElement(tree.get(), "root");
    StartElement(tree.get(), "root");
    EndElement(tree.get(), "root");
    tree.Destroy();
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "root#1 end", "root#1 deleted"}));
    EXPECT_EQ(tree.live(), 0);
}

TEST(ElementHandler, MillionLevelsDeepNeedNoStackPerLevel) {
    constexpr int k_depth = 1000000;
    Counts counts;
    auto* adapter = new SAXContentHandlerImpl(new TopHandler(new NestingHandler(counts)));
    Utf16 name("e");
    for (int i = 0; i < k_depth; ++i) {
        adapter->startElement(name.data(), 0, name.data(), name.length(), name.data(), 0, nullptr);
    }
    Characters(adapter, "deep");
    for (int i = 0; i < k_depth / 2; ++i) {
        adapter->endElement(name.data(), 0, name.data(), name.length(), name.data(), 0);
    }
    EXPECT_EQ(counts.accepted, k_depth);
    EXPECT_EQ(counts.deepestText, k_depth);
    EXPECT_EQ(counts.ended, k_depth / 2);
    EXPECT_EQ(counts.live, k_depth / 2 + 1);
    adapter->Release();
    EXPECT_EQ(counts.live, 0);
}

TEST(ElementHandler, DeepRefusedSubtreeIsSkippedByCounting) {
    Tree tree({{"root", {}}}, "root");
    StartElement(tree.get(), "root");
    for (int i = 0; i < 100000; ++i) {
        StartElement(tree.get(), "x");
    }
    for (int i = 0; i < 100000; ++i) {
        EndElement(tree.get(), "x");
    }
    Characters(tree.get(), "back");
    EXPECT_EQ(tree.Take(), (Lines{"root#1 accepts root", "root#1 text 'back'"}));
}

TEST(ElementHandler, ConvertBranchKnowsThreeExactKeywords) {
    struct Case {
        FIAttribute value;
        ElementHandler::enumBranch expected;
    };
    const Case cases[] = {
        {FIAttribute("Both"), ElementHandler::BranchBoth},
        {FIAttribute("Calc"), ElementHandler::BranchCalc},
        {FIAttribute("Spec"), ElementHandler::BranchSpec},
        {FIAttribute("both"), ElementHandler::BranchNone},
        {FIAttribute("BOTH"), ElementHandler::BranchNone},
        {FIAttribute("Both "), ElementHandler::BranchNone},
        {FIAttribute(""), ElementHandler::BranchNone},
        {FIAttribute(), ElementHandler::BranchNone},
        {FIAttribute(1), ElementHandler::BranchNone},
        {FIAttribute(2.0), ElementHandler::BranchNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        EXPECT_EQ(RecordingHandler::ConvertBranch(c.value), c.expected);
    }
}

TEST(ElementHandler, ConvertHelpersNarrowIntoTheirBuffers) {
    Utf16 text = Utf16::FromUnits({'A', 0x263A, 0xD83D, 0xDE00, 0xE9});
    char* copy = RecordingHandler::stconvert(text.data(), text.length());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "A??\xE9");
    std::free(copy);
    char buffer[4] = {'#', '#', '#', '#'};
    RecordingHandler::myconvert(buffer, text.data(), 2);
    EXPECT_STREQ(buffer, "A?");
    Utf16 empty("");
    copy = RecordingHandler::stconvert(empty.data(), 0);
    EXPECT_STREQ(copy, "");
    std::free(copy);
    // A surrogate pair is two units and one '?': 200 pairs and 4200 letters narrow to 4096
    // bytes.
    std::vector<unsigned short> pairs;
    for (int i = 0; i < 200; ++i) {
        pairs.insert(pairs.end(), {0xD83D, 0xDE00});
    }
    pairs.insert(pairs.end(), 4200, 'a');
    Utf16 paired = Utf16::FromUnits(pairs);
    copy = RecordingHandler::stconvert(paired.data(), paired.length());
    EXPECT_EQ(std::strlen(copy), 4096u);
    std::free(copy);
}

// Narrowing stops at a zero unit and reads nothing past it, whatever length a host gives for a
// NUL-terminated text: here one that ends where readable memory ends.
TEST(ElementHandler, ConvertHelpersReadNothingPastAZeroUnit) {
    struct ErrorNarrowing : SAXErrorHandlerImpl {
        using SAXErrorHandlerImpl::myconvert;
    };
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(static_cast<char*>(pages) + page, page, PROT_NONE), 0);
    auto* text = reinterpret_cast<unsigned short*>(static_cast<char*>(pages) + page) - 4;
    std::copy_n(u"abc", 4, text);
    for (const int length : {4, 17, 100, 4096}) {
        SCOPED_TRACE(length);
        char buffer[4097];
        RecordingHandler::myconvert(buffer, text, length);
        EXPECT_STREQ(buffer, "abc");
        ErrorNarrowing::myconvert(buffer, text, length);
        EXPECT_STREQ(buffer, "abc");
        char* copy = RecordingHandler::stconvert(text, length);
        EXPECT_STREQ(copy, "abc");
        std::free(copy);
    }
    munmap(pages, 2 * page);
}

namespace {

// The narrowing rule written plainly, one unit at a time, to check the block-wise one against.
std::string NarrowPlainly(const std::vector<unsigned short>& units, size_t limit) {
    std::string out;
    for (size_t i = 0; i < units.size() && out.size() < limit; ++i) {
        const unsigned unit = units[i];
        if (unit == 0) {
            break;
        }
        if (unit <= 0xFF) {
            out += static_cast<char>(unit);
            continue;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            ++i;
        }
        out += '?';
    }
    return out;
}

} // namespace

TEST(ElementHandler, NarrowingAgreesWithTheRuleOnMixedTextsOfEveryLength) {
    // Mostly units that narrow one to one, with the others sprinkled at random places, so
    // that every length of every run and every end of a text is met.
    const unsigned short k_others[] = {0, 0x100, 0x20AC, 0xD83D, 0xDE00, 0xFFFF};
    unsigned long long state = 7;
    const auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(state >> 33);
    };
    for (int round = 0; round < 3000; ++round) {
        const size_t length = round % 97 + (round % 11 == 0 ? 4090 : 0);
        const unsigned spread = next() % 40 + 2;
        std::vector<unsigned short> units(length);
        for (unsigned short& unit : units) {
            const unsigned pick = next();
            unit = pick % spread == 0 ? k_others[pick / spread % 6]
                                      : static_cast<unsigned short>(pick % 255 + 1);
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string expected = NarrowPlainly(units, 4096);
        Utf16 text = Utf16::FromUnits(units);
        std::vector<char> buffer(std::min<size_t>(length, 4096) + 1, '#');
        RecordingHandler::myconvert(buffer.data(), text.data(), text.length());
        EXPECT_EQ(std::string(buffer.data()), expected);
        char* copy = RecordingHandler::stconvert(text.data(), text.length());
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(std::string(copy), expected);
        std::free(copy);
    }
}

namespace {

struct CrossCheck {
    std::vector<std::string> disagreements;
    int found = 0;
};

// Accepts every element and fetches each of its attributes with GetAttributeValue, by the
// narrowed local name that getLocalName gives, expecting the narrowed value of the first
// attribute of that name; also asks for names that are absent. Records every disagreement.
class CrossCheckingHandler : public ElementHandler {
public:
    explicit CrossCheckingHandler(CrossCheck& check) : m_check(check) {}

    bool HandleElement(char*, MSXML2::ISAXAttributes* attributes, MSXML2::ISAXLocator*) override {
        AddHandler(new CrossCheckingHandler(m_check));
        int count = 0;
        attributes->getLength(&count);
        std::vector<std::pair<std::string, std::string>> narrowed;
        for (int i = 0; i < count; ++i) {
            narrowed.emplace_back(Narrowed(attributes, i, &MSXML2::ISAXAttributes::getLocalName),
                                  Narrowed(attributes, i, &MSXML2::ISAXAttributes::getValue));
        }
        std::vector<std::string> asked = {"", "absent", "plain\xE9", std::string(5000, 'n')};
        for (const auto& attribute : narrowed) {
            asked.push_back(attribute.first);
        }
        for (const std::string& name : asked) {
            std::string expected = "(null)";
            for (const auto& attribute : narrowed) {
                if (attribute.first == name) {
                    expected = attribute.second;
                    ++m_check.found;
                    break;
                }
            }
            FIAttribute value;
            GetAttributeValue(name.c_str(), attributes, value);
            const std::string got = value.isNull() ? "(null)" : value.c_str();
            if (got != expected) {
                m_check.disagreements.push_back(name.substr(0, 16) + " gave " + got.substr(0, 16));
            }
        }
        return true;
    }

private:
    static std::string Narrowed(MSXML2::ISAXAttributes* attributes, int index,
                                long (MSXML2::ISAXAttributes::*get)(int, unsigned short**, int*)) {
        unsigned short* text = nullptr;
        int length = 0;
        (attributes->*get)(index, &text, &length);
        std::vector<char> buffer(static_cast<size_t>(std::min(length, 4096)) + 1);
        myconvert(buffer.data(), text, length);
        return buffer.data();
    }

    CrossCheck& m_check;
};

} // namespace

TEST(ElementHandler, ReaderAttributesAreFetchedAsTheirUtf16NarrowedWouldBe) {
    const std::string euros = std::string(4094, 'v') + "\xE2\x82\xAC\xE2\x82\xAC" + "tail";
    const std::string document =
        "<r xmlns:p='urn:p' plain='x' caf\xC3\xA9='\xC3\xA9t\xC3\xA9' x\xCE\xA9='omega'"
        " y\xE0\xA4\x85='smile \xF0\x9F\x98\x80' p:plain='second' p:q='&amp;&lt;&#xFF;'"
        " empty='' " +
        std::string(5000, 'n') + "='long name' ascii='" + std::string(5000, 'a') + "' mixed='" +
        euros + "' z='" + std::string(4096, 'z') + "'><e a='1' b='2' a2='\xC3\xA9'/></r>";
    CrossCheck check;
    auto* content = new SAXContentHandlerImpl(new TopHandler(new CrossCheckingHandler(check)));
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        EXPECT_EQ(reader.parse(document.data(), document.size()), S_OK);
    }
    content->Release();
    EXPECT_EQ(check.disagreements, Lines{});
    EXPECT_EQ(check.found, 11 + 3) << "every attribute of both elements, p:plain as plain";
}

namespace {

// Fetches the attributes a1, a2, ... of the root and records each value's description.
class ValueFormHandler : public ElementHandler {
public:
    ValueFormHandler(size_t count, Lines& forms) : m_count(count), m_forms(forms) {}

    bool HandleElement(char*, MSXML2::ISAXAttributes* attributes, MSXML2::ISAXLocator*) override {
        for (size_t i = 1; i <= m_count; ++i) {
            FIAttribute value(12345);
            GetAttributeValue(("a" + std::to_string(i)).c_str(), attributes, value);
            m_forms.push_back(qortest::Describe(value) + " length " +
                              std::to_string(value.length()) + " capacity " +
                              std::to_string(value.capacity()));
        }
        return true;
    }

private:
    size_t m_count;
    Lines& m_forms;
};

} // namespace

// A fetched value takes the form that assigning its narrowed text gives: inline up to 18
// characters, in a buffer from 19, whatever the length and wherever a non-ASCII character is.
TEST(ElementHandler, ReaderAttributeValuesTakeTheFormOfTextAssignment) {
    const struct {
        std::string utf8;
        std::string narrowed;
    } k_values[] = {
        {"", ""},
        {"x", "x"},
        {std::string(17, 'b'), std::string(17, 'b')},
        {std::string(18, 'c'), std::string(18, 'c')},
        {std::string(19, 'd'), std::string(19, 'd')},
        {std::string(20, 'e'), std::string(20, 'e')},
        {std::string(17, 'f') + "\xC3\xA9", std::string(17, 'f') + "\xE9"},
        {std::string(18, 'g') + "\xC3\xA9", std::string(18, 'g') + "\xE9"},
        {"\xC3\xA9" + std::string(30, 'h'), "\xE9" + std::string(30, 'h')},
        {"&amp;\xE2\x82\xAC", "&?"},
        {std::string(70, 'i') + "\xC2\xB5", std::string(70, 'i') + "\xB5"},
    };
    std::string document = "<r";
    Lines expected;
    for (size_t i = 0; i < sizeof k_values / sizeof k_values[0]; ++i) {
        document += " a" + std::to_string(i + 1) + "='" + k_values[i].utf8 + "'";
        FIAttribute value;
        value = k_values[i].narrowed.c_str();
        expected.push_back(qortest::Describe(value) + " length " + std::to_string(value.length()) +
                           " capacity " + std::to_string(value.capacity()));
    }
    document += "/>";
    Lines forms;
    auto* content = new SAXContentHandlerImpl(
        new TopHandler(new ValueFormHandler(sizeof k_values / sizeof k_values[0], forms)));
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        EXPECT_EQ(reader.parse(document.data(), document.size()), S_OK);
    }
    content->Release();
    EXPECT_EQ(forms, expected);
}
