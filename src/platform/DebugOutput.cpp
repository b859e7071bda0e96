#include <QorUtils/platform/DebugOutput.h>

#include <cstdio>

void OutputDebugStringA(const char* text) {
    if (text != nullptr) {
        std::fputs(text, stderr);
    }
}
