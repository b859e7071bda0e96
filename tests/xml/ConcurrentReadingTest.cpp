// Documents read on several threads at once, each thread with its own reader, adapters and
// handler trees: handlers that warn, documents that fail, sets read through iconv, files and
// memory, numbers read from attributes, seeks on entry cursors and the empty objects, so that
// every process-wide state a reading touches is used from every thread. `make test` also runs
// this file built with ThreadSanitizer, where any data race fails it.
#include <QorUtils/log/FILog.h>
#include <QorUtils/object/EmptyObjects.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/ObjectTestSupport.h"
#include "support/ScopedLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

namespace {

constexpr int k_documents = 48;
constexpr int k_threads = 4;

// What one reading gave: the reader's result and the sum of the items' numbers.
struct Reading {
    long result = 0;
    long sum = 0;
    bool operator==(const Reading& other) const {
        return result == other.result && sum == other.sum;
    }
};

// Accepts <itemK>, reads its "n" as a number and leaves "spare" unfetched (a warning); seeks
// the thread's cursor and asks the empty entry for its context.
class ItemHandler final : public ElementHandler {
public:
    ItemHandler(std::string name, Reading& reading, FI::EntryCursor& cursor)
        : m_name(std::move(name)), m_reading(reading), m_cursor(cursor) {}

    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        if (m_name != name) {
            return false;
        }
        ResetAttributes(attributes);
        FIAttribute n;
        m_reading.sum += GetAttributeValue("n", attributes, n).ival();
        ExtraAttributes(name, locator);
        m_cursor.Seek(0, 1);
        return FI::GetEmptyEntryPtr()->GetContext() != nullptr;
    }

private:
    std::string m_name;
    Reading& m_reading;
    FI::EntryCursor& m_cursor;
};

// Accepts <note> and writes its text, three times over (a line longer than a stdio buffer),
// to the log as a severe error.
class NoteHandler final : public ElementHandler {
public:
    bool HandleElement(char* name, ISAXAttributes*, ISAXLocator*) override {
        return std::strcmp(name, "note") == 0;
    }
    void HandleText(char* text, ISAXLocator* locator) override {
        SevereError((std::string(text) + text + text).c_str(), locator);
    }
};

// Accepts <doc>, gives its items and notes their handlers and reports unknown elements.
class DocHandler final : public ElementHandler {
public:
    DocHandler(int document, Reading& reading, FI::EntryCursor& cursor)
        : ElementHandler(true), m_document(document), m_reading(reading), m_cursor(cursor) {}

    bool HandleElement(char* name, ISAXAttributes*, ISAXLocator*) override {
        if (std::strcmp(name, "doc") != 0) {
            return false;
        }
        AddHandler(new ItemHandler("item" + std::to_string(m_document), m_reading, m_cursor));
        AddHandler(new NoteHandler);
        return true;
    }

private:
    int m_document;
    Reading& m_reading;
    FI::EntryCursor& m_cursor;
};

// Document k: 10 + k items (so that every line it logs, a failure's place included, is its
// own), an unknown element, a long note. Every third is cut short; some are in sets read
// through iconv.
std::string Document(int k) {
    const char* encodings[] = {"UTF-8", "ISO-8859-15", "UTF-8", "Shift_JIS"};
    std::string text =
        std::string("<?xml version=\"1.0\" encoding=\"") + encodings[k % 4] + "\"?>\n<doc>\n";
    for (int i = 0; i < 10 + k; ++i) {
        text +=
            "<item" + std::to_string(k) + " n=\"" + std::to_string(i * k) + "\" spare=\"s\"/>\n";
    }
    text += "<stray" + std::to_string(k) + "/>\n<note>note " + std::to_string(k) + " " +
            std::string(2000, 'x') + "</note>\n";
    return k % 3 == 2 ? text : text + "</doc>\n";
}

// Reads the documents that `next` hands out, even ones from memory and odd ones from their files,
// with one reader and error handler and a fresh handler tree for each.
void ReadDocuments(std::atomic<int>& next, const std::vector<std::string>& paths,
                   std::vector<Reading>& readings, FI::EntryCursor& cursor) {
    MSXML2::SAXXMLReader reader;
    auto* errors = new SAXErrorHandlerImpl;
    reader.putErrorHandler(errors);
    for (int k = next++; k < k_documents; k = next++) {
        SetFILogLevel(5);
        auto* content =
            new SAXContentHandlerImpl(new TopHandler(new DocHandler(k, readings[k], cursor)));
        reader.putContentHandler(content);
        const std::string document = Document(k);
        readings[k].result = k % 2 == 0 ? reader.parse(document.data(), document.size())
                                        : reader.parseURL(paths[k].c_str());
        reader.putContentHandler(nullptr);
        content->Release();
    }
    reader.putErrorHandler(nullptr);
    errors->Release();
}

struct Outcome {
    std::vector<Reading> readings;
    std::vector<std::string> lines;
    std::string log;
    long seeks = 0;
};

// How many lines one sorted list has and the other has not, and the first of them cut short.
std::string Difference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> differ;
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(),
                                  std::back_inserter(differ));
    return std::to_string(differ.size()) + " lines differ" +
           (differ.empty() ? "" : ", as " + differ[0].substr(0, 100));
}

long SeeksCounted() {
    return std::accumulate(std::begin(FI::EntryCursor::S_refcount_on_seek),
                           std::end(FI::EntryCursor::S_refcount_on_seek), 0L);
}

// Reads every document on `threads` threads into a log that held an earlier run's text.
Outcome ReadAll(int threads, const std::vector<std::string>& paths) {
    qortest::ScopedLog log;
    EXPECT_TRUE(qortest::WriteFile(log.path(), "left from an earlier run\n"));
    Outcome run;
    run.readings.resize(k_documents);
    std::vector<FI::EntryCursor> cursors;
    for (int t = 0; t < threads; ++t) {
        cursors.emplace_back(new qortest::TestEntryCursor({"a", "b"}));
    }
    const long seeksBefore = SeeksCounted();
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(ReadDocuments, std::ref(next), std::cref(paths),
                             std::ref(run.readings), std::ref(cursors[t]));
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    run.seeks = SeeksCounted() - seeksBefore;
    run.lines = log.Messages();
    std::sort(run.lines.begin(), run.lines.end());
    run.log = qortest::ReadFile(log.path());
    return run;
}

} // namespace

// Read one after the other, the documents give the log lines and results that the same
// documents read on several threads at once must give: every line once and whole, the file
// emptied by the first write, no count of the seek statistics lost.
TEST(ConcurrentReading, ManyThreadsGiveTheLinesAndResultsOfOne) {
    qortest::ScopedTempDir dir;
    std::vector<std::string> paths;
    for (int k = 0; k < k_documents; ++k) {
        paths.push_back(dir.file("doc" + std::to_string(k) + ".xml"));
        ASSERT_TRUE(qortest::WriteFile(paths.back(), Document(k)));
    }
    const Outcome alone = ReadAll(1, paths);
    ASSERT_EQ(std::adjacent_find(alone.lines.begin(), alone.lines.end()), alone.lines.end())
        << "a line is logged twice, so the comparison below proves less";
    // Per document: a warning per item and the unknown element, the note once, and the fatal
    // error of every third.
    ASSERT_EQ(alone.lines.size(), size_t{10 * k_documents + k_documents * (k_documents - 1) / 2 +
                                         2 * k_documents + k_documents / 3});
    ASSERT_EQ(alone.readings[2].result, MSXML2::SAXREADER_E_SYNTAX + 3);

    const Outcome together = ReadAll(k_threads, paths);
    EXPECT_TRUE(together.lines == alone.lines) << Difference(alone.lines, together.lines);
    EXPECT_EQ(together.readings, alone.readings);
    EXPECT_EQ(together.seeks, alone.seeks);
    EXPECT_EQ(together.log.find(" FI Error Log, "), 0u);
    EXPECT_EQ(together.log.find(" FI Error Log, ", 1), std::string::npos);
    EXPECT_EQ(together.log.find("earlier run"), std::string::npos);
}
