// The example module run as a process: its whole output for the sample model, and what it says
// about models with problems, on standard output and in the error log.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using qortest::ProgramRun;
using qortest::ReadFile;

namespace {

const std::string k_sample = QORUTILS_TEST_DATA_DIR "/../../examples/flowsheet/model.xml";

class FlowsheetTest : public testing::Test {
protected:
    void SetUp() override {
        program = qortest::BuiltProgram("examples/flowsheet");
        ASSERT_FALSE(program.empty()) << "QORUTILS_BINARY_DIR is not set";
    }

    // Runs the module on a model in the temporary directory, which also takes a fresh error log.
    ProgramRun RunOn(const std::string& model) {
        std::remove(dir.file("QorErrors.log").c_str());
        const std::string path = dir.file("model.xml");
        EXPECT_TRUE(qortest::WriteFile(path, model));
        return qortest::RunProgram(program, {path}, dir.path());
    }
    std::string Log() const { return ReadFile(dir.file("QorErrors.log")); }

    qortest::ScopedTempDir dir;
    std::string program;
};

TEST_F(FlowsheetTest, SampleModelOutput) {
    const ProgramRun run = qortest::RunProgram(program, {k_sample}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, ReadFile(QORUTILS_TEST_DATA_DIR "/flowsheet/sample.expected"));
    EXPECT_EQ(Log(), "");
}

// Each model: the exit status, a line the output must hold, and the log line it must cause
// (its kind and the text after the file and line), if any.
TEST_F(FlowsheetTest, ModelProblemsAreReported) {
    struct Case {
        std::string model;
        int status;
        const char* outLine;
        const char* logKind;
        const char* logText;
    };
    const std::string streams =
        "<stream name=\"A\" branch=\"Spec\" flow=\"2\" temperature=\"300\"/>"
        "<stream name=\"B\" branch=\"Spec\" flow=\"3\"/>";
    const std::string mixer = "<unit name=\"M\" type=\"mixer\"><inlet stream=\"A\"/>"
                              "<outlet stream=\"B\"/></unit>";
    const Case cases[] = {
        {"<model><stream name=\"A\" branch=\"both\" flow=\"1\"/></model>", 0,
         "  name=\"A\" kind=\"stream\" flow=1", "Severe Error",
         "stream 'A': branch must be Both, Calc or Spec"},
        {"<model><stream name=\"A\" branch=\"Spec\" colour=\"red\"/></model>", 0,
         "  name=\"A\" kind=\"stream\" branch=\"Spec\"", "Warning",
         "unexpected attribute in stream"},
        {"<model><unit name=\"M\" type=\"mixer\"><pump/></unit></model>", 1,
         "  error: M: needs inlets and exactly one outlet", "Warning", "unknown element <pump>"},
        {"<model><unit name=\"M\" type=\"mixer\"><inlet stream=\"X\"/></unit></model>", 1,
         "  error: M: no stream 'X'", nullptr, nullptr},
        {"<model><unit name=\"M\" type=\"pump\"/></model>", 1, "  error: M: unknown unit type",
         nullptr, nullptr},
        {"<model>" + streams + mixer + "</model>", 1,
         "  error: B flow: specified as 3, but the balance gives 2", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        const ProgramRun run = RunOn(c.model);
        EXPECT_EQ(run.status, c.status);
        const std::vector<std::string> lines = qortest::Lines(run.out);
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.outLine), lines.end()) << run.out;
        if (c.logKind == nullptr) {
            EXPECT_EQ(Log(), "");
            continue;
        }
        const std::string logged = std::string("  XML Parser ") + c.logKind + ": file " +
                                   dir.file("model.xml") + " at line 1, " + c.logText + "\n";
        EXPECT_NE(Log().find(logged), std::string::npos) << Log();
    }
}

TEST_F(FlowsheetTest, UnreadableModelFails) {
    const ProgramRun run = RunOn("<model><stream name=\"A\"></model>");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "flowsheet: " + dir.file("model.xml") +
                           ":1:27: error: mismatched tag (0x80040207)\n");
    EXPECT_NE(Log().find("XML Parser fatal error: 0x80040207 at line 1 column 27, mismatched tag"),
              std::string::npos)
        << Log();
}

// FITopEntry::Create failing (a library preloaded into the module makes it fail as it does when
// memory runs out): the module says so and frees everything, its solver included.
TEST_F(FlowsheetTest, FailedTopEntryLeavesNothingBehind) {
    if (qortest::kSanitized) {
        GTEST_SKIP()
            << "the module is built with the sanitizer here; valgrind runs the plain build";
    }
    // LD_PRELOAD splits at spaces, so the library goes by name and its folder by LD_LIBRARY_PATH
    // (a checkout path may hold spaces).
    setenv("LD_LIBRARY_PATH", qortest::BuiltProgram("tests").c_str(), 1);
    setenv("LD_PRELOAD", "libqorutils_create_fails.so", 1);
    const ProgramRun run = qortest::RunProgram(
        "valgrind",
        {"--quiet", "--leak-check=full", "--show-leak-kinds=all", "--errors-for-leak-kinds=all",
         "--error-exitcode=99", program, k_sample},
        dir.path());
    unsetenv("LD_PRELOAD");
    unsetenv("LD_LIBRARY_PATH");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "flowsheet: out of memory\n");
}

} // namespace
