// A host that loads its module with dlopen, as a simulation system loads its modules, and calls
// it from handlers it registered before: a fork handler, which runs after the library's own
// (fork runs the handlers registered last first), and an exit handler and a global's destructor,
// both of which run after the library's own exit work (its statics were set up when the module
// was loaded, later than the host's). It does so in a child process and then checks the child's
// log. Exits 1 on a wrong log or a failed child. `make test` also runs it under valgrind, and the
// sanitizer build runs it under AddressSanitizer: there a read of freed memory, or a leak, fails
// the child.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The module and its functions; set in the child only, so that the parent's own exit does
// nothing.
struct Module {
    void* handle = nullptr;
    void (*start)(const char* path) = nullptr;
    void (*use)(const char* when) = nullptr;
    void (*attach)() = nullptr;
    void (*stop)() = nullptr;
} g_module;

void ForkHandler() {
    if (g_module.use != nullptr) {
        g_module.use("fork handler");
        g_module.attach();
    }
}

void ExitHandler() {
    if (g_module.use != nullptr) {
        g_module.use("exit handler");
        g_module.attach();
    }
}

struct HostGlobal {
    ~HostGlobal() {
        if (g_module.use != nullptr) {
            g_module.use("global's destructor");
            g_module.stop();
            dlclose(g_module.handle);
        }
    }
} g_hostGlobal;

template <class Function> bool Find(void* module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(module, name));
    return function != nullptr;
}

// The child: registers its fork and exit handlers, then loads and starts the module, forks once
// and exits. A fork that does not return within its time ends the child with SIGALRM.
[[noreturn]] void RunChild(const char* log) {
    pthread_atfork(ForkHandler, nullptr, nullptr);
    std::atexit(ExitHandler);
    void* module = dlopen(QORUTILS_EXIT_TIME_MODULE, RTLD_NOW);
    Module found;
    found.handle = module;
    if (module == nullptr || !Find(module, "ModuleStart", found.start) ||
        !Find(module, "ModuleUse", found.use) || !Find(module, "ModuleAttach", found.attach) ||
        !Find(module, "ModuleStop", found.stop)) {
        std::fprintf(stderr, "cannot load the module: %s\n", dlerror());
        _exit(2);
    }
    g_module = found;
    g_module.start(log);
    alarm(20);
    const pid_t grandchild = fork();
    if (grandchild == 0) {
        // It only has to exist: it becomes another program at once, so that valgrind has no
        // process leaving with everything still held to report on.
        execl("/bin/true", "true", static_cast<char*>(nullptr));
        _exit(0);
    }
    if (grandchild < 0 || waitpid(grandchild, nullptr, 0) != grandchild) {
        _exit(3);
    }
    std::exit(0);
}

std::string ReadWhole(const char* path) {
    std::string content;
    if (FILE* file = std::fopen(path, "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            content.append(buffer, n);
        }
        std::fclose(file);
    }
    return content;
}

} // namespace

int main() {
    char dir[] = "/tmp/qorutils-exit-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    // Long enough to live on the heap in a string, where a freed path would show. Nothing of the
    // parent is on the heap when it forks, so the child's exit leaves nothing behind.
    char log[sizeof dir + 64];
    std::snprintf(log, sizeof log, "%s/written-by-exit-handlers-and-destructors.log", dir);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        RunChild(log);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        std::perror("fork");
        return 1;
    }
    const std::string content = ReadWhole(log);
    std::remove(log);
    rmdir(dir);

    const std::string common =
        " id=Top type=TopNode; entries Top; Top over the empty context: yes;"
        " empty entry (null), default cursor at its end; windows-1252 read\n";
    const std::string expected = " main: observers told 1;" + common +
                                 " fork handler: observers told 2;" + common +
                                 " exit handler: observers told 2;" + common +
                                 " global's destructor: observers told 2;" + common;
    const size_t body = content.find("\n\n");
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                    content.compare(0, 15, " FI Error Log, ") == 0 && body != std::string::npos &&
                    content.substr(body + 2) == expected;
    if (!ok) {
        std::fprintf(stderr, "child status %d; log:\n%s\nexpected after the header:\n%s", status,
                     content.c_str(), expected.c_str());
        return 1;
    }
    std::printf("exit-time use: the log is whole\n");
    return 0;
}
