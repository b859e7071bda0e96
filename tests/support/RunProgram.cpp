#include "support/RunProgram.h"

#include "support/TestSupport.h"

#include <cstdlib>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace qortest {

std::string BuiltProgram(const std::string& relative) {
    const char* root = std::getenv("QORUTILS_BINARY_DIR");
    return root == nullptr ? std::string() : std::string(root) + "/" + relative;
}

namespace {

// Runs the program with standard input the descriptor `inputFd`, or the file `inputPath` when
// `inputFd` is negative, and standard output the descriptor `outputFd`, or a file read back.
ProgramRun Spawn(const std::string& program, const std::vector<std::string>& args,
                 const std::string& directory, const std::string& inputPath, int inputFd,
                 int outputFd = -1) {
    ScopedTempDir capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
    }
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    ProgramRun run;
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) {
        return run;
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

} // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory, const std::string& input) {
    return Spawn(program, args, directory, input.empty() ? "/dev/null" : input, -1);
}

ProgramRun RunProgramOn(int input, const std::string& program, const std::vector<std::string>& args,
                        const std::string& directory, int output) {
    return Spawn(program, args, directory, "", input, output);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace qortest
