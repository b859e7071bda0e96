// qorxml on hostile input: each file is read correctly (status 0) or refused with one
// "error:" line on standard error and status 1; never a crash, and nothing read but the file.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using qortest::ProgramRun;

namespace {

std::string Utf16(const std::string& ascii, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
}

TEST(QorxmlHostile, EachFileIsReadOrRefusedWithOneErrorLine) {
    qortest::ScopedTempDir dir;
    const std::string program = qortest::BuiltProgram("tools/qorxml");
    ASSERT_FALSE(program.empty()) << "QORUTILS_BINARY_DIR is not set";
    ASSERT_TRUE(qortest::WriteFile(dir.file("secret.txt"), "LEAKED"));
    std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " '";
        for (int j = 0; j < 10; ++j) {
            laughs += "&l" + std::to_string(i - 1) + ";";
        }
        laughs += "'>";
    }
    laughs += "]><r>&l9;</r>";
    const std::string utf16 = "<?xml version='1.0' encoding='UTF-16'?><r a='1'/>";

    struct Case {
        const char* name;
        std::string content;
        // The outline for a file read; for a refused one, what its error line says.
        std::string expected;
        bool refused;
    };
    const Case cases[] = {
        {"laughs.xml", laughs,
         "limit on input amplification factor (from DTD and entities) breached", true},
        {"external.xml",
         "<!DOCTYPE r [<!ENTITY x SYSTEM '" + dir.file("secret.txt") + "'>]><r a='&x;'>&x;</r>",
         "reference to external entity in attribute", true},
        {"external-dtd.xml", "<!DOCTYPE r SYSTEM '" + dir.file("secret.txt") + "'><r>&x;</r>",
         "r\n", false},
        {"bad-utf8.xml", "<r>\xC3\x28</r>", "not well-formed (invalid token)", true},
        {"nul.xml", std::string("<r>\0</r>", 8), "not well-formed (invalid token)", true},
        {"iso-2022-jp.xml", "<?xml version='1.0' encoding='ISO-2022-JP'?><r/>",
         "unknown encoding \"ISO-2022-JP\"", true},
        {"utf16le-bom.xml", "\xFF\xFE" + Utf16(utf16, false), "r a=\"1\"\n", false},
        {"utf16be-bom.xml", "\xFE\xFF" + Utf16(utf16, true), "r a=\"1\"\n", false},
        {"utf16le.xml", Utf16(utf16, false), "r a=\"1\"\n", false},
        {"utf16be.xml", Utf16(utf16, true), "r a=\"1\"\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(qortest::WriteFile(path, c.content));
        const ProgramRun run = qortest::RunProgram(program, {path}, dir.path());
        EXPECT_EQ(run.status, c.refused ? 1 : 0);
        EXPECT_EQ(run.out.find("LEAKED"), std::string::npos);
        if (!c.refused) {
            EXPECT_EQ(run.out, c.expected);
            EXPECT_EQ(run.err, "");
            continue;
        }
        const std::vector<std::string> lines = qortest::Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind(path + ":", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(": error: " + c.expected), std::string::npos) << lines[0];
    }
}

TEST(QorxmlHostile, UnreadablePathsAreRefusedWithOneErrorLine) {
    qortest::ScopedTempDir dir;
    const std::string program = qortest::BuiltProgram("tools/qorxml");
    ASSERT_FALSE(program.empty()) << "QORUTILS_BINARY_DIR is not set";
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir.path(), "Is a directory"},
        {dir.file("missing/dir/x.xml"), "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const ProgramRun run = qortest::RunProgram(program, {c.path}, dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err,
                  c.path + ":1:1: error: cannot open file '" + c.path + "': " + c.reason + "\n");
    }
}

} // namespace
