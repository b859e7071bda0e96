// The message chain: the ordered list of severity-tagged messages through which a solver
// reports. The chain owns its messages and each message owns a copy of its text; copies of
// a chain are deep. A pointer from Get stays valid until that message is removed or the chain
// is destroyed or assigned to. A chain is used by one thread at a time. When memory runs out,
// Add adds nothing, a copy starts empty and an assignment leaves its target as it was.
#pragma once

#include <QorUtils/Export.h>

#include <cstdint>
#include <vector>

namespace FI {

// The severity of a message. Values other than these two belong to the modules that report.
enum FIMessageSeverity : int32_t {
    FIMessageUnset = -2,        // a message whose severity nobody set
    FIMessageNotSupported = -1, // the "Not Supported" message of the default solver operations
};

// One message. The text is a NUL-terminated copy owned by the message, or null.
struct QORUTILS_API FIMessageInfo {
    FIMessageSeverity nSeverity = FIMessageUnset;
    int32_t nParam1 = -1;
    int32_t nParam2 = -1;
    char* pszText = nullptr;

    FIMessageInfo() = default;
    // Copies are deep: each message owns its own copy of the text. When memory runs out, a copy
    // is made without text and an assignment leaves its target as it was.
    FIMessageInfo(const FIMessageInfo& other);
    FIMessageInfo& operator=(const FIMessageInfo& other);
    ~FIMessageInfo();
};

class QORUTILS_API QORUTILS_CONTAINER_ABI FIMessageChain {
public:
    FIMessageChain() = default;
    // Copies are deep: the copy owns duplicates of the messages, in the same order.
    FIMessageChain(const FIMessageChain& other);
    FIMessageChain& operator=(const FIMessageChain& other);
    ~FIMessageChain();

    int Count() const;
    // Appends a message holding a copy of `text` (null leaves the message without text).
    void Add(FIMessageSeverity severity, int param1, int param2, const char* text);
    // The message at a zero-based position, or null outside 0..Count()-1.
    FIMessageInfo* Get(int index) const;
    // Removes and destroys the message at a position; a position outside the chain is ignored.
    void RemoveAt(int index);

private:
    std::vector<FIMessageInfo*> m_messages;
};

} // namespace FI
