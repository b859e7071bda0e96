// Runs a program built in the build tree as a separate process, with its standard output and
// standard error captured whole, for tests of command-line tools and examples.
#pragma once

#include <string>
#include <vector>

namespace qortest {

struct ProgramRun {
    // The exit status; 128 + the signal number when a signal ended the program; -1 when it
    // could not be started.
    int status = -1;
    std::string out;
    std::string err;
};

// The path of a program under the build tree, which ctest names in QORUTILS_BINARY_DIR
// (for example "tools/qorxml"); empty when the variable is not set.
std::string BuiltProgram(const std::string& relative);

// Runs `program` (a path, or a name looked up in PATH) with `args` in `directory` (empty: the
// current one), standard input read from `input` (empty: /dev/null), and waits for it to end.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory = "", const std::string& input = "");

// The same with standard input the open descriptor `input`, as it stands (a pipe, a socket, a
// file partly read), and standard output the descriptor `output` when it is not negative (`out`
// then stays empty).
ProgramRun RunProgramOn(int input, const std::string& program, const std::vector<std::string>& args,
                        const std::string& directory = "", int output = -1);

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

} // namespace qortest
