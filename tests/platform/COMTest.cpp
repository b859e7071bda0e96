#include <QorUtils/platform/COM.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

TEST(COM, FailureCodesAreNegativeSignExtendedValues) {
    EXPECT_EQ(S_OK, 0);
    EXPECT_EQ(S_FALSE, 1);
    EXPECT_EQ(E_FAIL, -2147467259L);
    EXPECT_EQ(E_NOINTERFACE, -2147467262L);
    EXPECT_EQ(static_cast<unsigned long>(E_FAIL) & 0xFFFFFFFFul, 0x80004005ul);
    // Results are judged on their low 32 bits, however they were widened.
    static_assert(FAILED(E_FAIL) && FAILED(static_cast<long>(0x80004005ul)) && !FAILED(S_FALSE));
    static_assert(SUCCEEDED(static_cast<long>(0x100000000ul)) && !SUCCEEDED(E_NOINTERFACE));
}

TEST(COM, InterfaceIdentifiersCompareOnAllSixteenBytes) {
    static_assert(sizeof(GUID) == 16);
    EXPECT_EQ(IID_IUnknown, IID_IUnknown);
    EXPECT_NE(IID_IUnknown, IID_ISAXContentHandler);
    EXPECT_NE(IID_ISAXContentHandler, IID_ISAXErrorHandler);
    GUID almost = IID_ISAXErrorHandler;
    almost.Data4[7] ^= 1;
    EXPECT_NE(almost, IID_ISAXErrorHandler);
    EXPECT_EQ(IID_ISAXContentHandler.Data1, 0x1545CDFAu);
    EXPECT_EQ(IID_ISAXErrorHandler.Data4[7], 0xD0);
}

// A module that names the identifiers holds no symbol that would keep it loaded for good.
TEST(COM, AModuleThatUsesTheIdentifiersUnloads) {
    void* module = dlopen(QORUTILS_UNLOAD_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto asks =
        reinterpret_cast<bool (*)(IUnknown*)>(dlsym(module, "ModuleAsksForErrorHandler"));
    ASSERT_NE(asks, nullptr);
    auto* errors = new SAXErrorHandlerImpl;
    EXPECT_TRUE(asks(errors));
    errors->Release();
    dlclose(module);
    EXPECT_EQ(dlopen(QORUTILS_UNLOAD_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr);
}
