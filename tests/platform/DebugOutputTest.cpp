#include <QorUtils/platform/DebugOutput.h>

#include <gtest/gtest.h>

TEST(DebugOutput, WritesTextUnchangedToStandardError) {
    testing::internal::CaptureStderr();
    OutputDebugStringA(" refcnt   number of seeks with\n");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("no newline");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), " refcnt   number of seeks with\nno newline");
}
