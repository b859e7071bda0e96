// Uses the installed library through its umbrella header; exits non-zero when something
// it relies on does not answer as documented.
#include <QorUtils/QorUtils.h>

#include <cstdio>

int main() {
    OutputDebugStringA("consumer: linked against QorUtils\n");
    if (S_OK != 0 || E_NOINTERFACE >= 0 || IID_IUnknown == IID_ISAXContentHandler) {
        std::puts("consumer: unexpected platform constants");
        return 1;
    }
    std::puts("consumer: ok");
    return 0;
}
