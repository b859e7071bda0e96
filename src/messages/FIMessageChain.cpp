#include <QorUtils/messages/FIMessageChain.h>

#include <cstring>
#include <memory>
#include <new>

namespace FI {

namespace {

// A heap copy of a NUL-terminated text, or null for a null text. Throws std::bad_alloc; the
// public operations catch it so that no exception leaves the library.
char* CopyText(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const size_t size = std::strlen(text) + 1;
    char* copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}

std::unique_ptr<FIMessageInfo> MakeMessage(FIMessageSeverity severity, int param1, int param2,
                                           const char* text) {
    auto message = std::make_unique<FIMessageInfo>();
    message->nSeverity = severity;
    message->nParam1 = param1;
    message->nParam2 = param2;
    message->pszText = CopyText(text);
    return message;
}

void DestroyAll(std::vector<FIMessageInfo*>& messages) {
    for (FIMessageInfo* message : messages) {
        delete message;
    }
    messages.clear();
}

// Deep copies of every message, in order. Throws std::bad_alloc, leaving nothing allocated.
std::vector<FIMessageInfo*> CopyMessages(const std::vector<FIMessageInfo*>& source) {
    std::vector<FIMessageInfo*> copy;
    copy.reserve(source.size());
    try {
        for (const FIMessageInfo* message : source) {
            copy.push_back(MakeMessage(message->nSeverity, message->nParam1, message->nParam2,
                                       message->pszText)
                               .release());
        }
    } catch (...) {
        DestroyAll(copy);
        throw;
    }
    return copy;
}

} // namespace

FIMessageInfo::FIMessageInfo(const FIMessageInfo& other)
    : nSeverity(other.nSeverity), nParam1(other.nParam1), nParam2(other.nParam2) {
    try {
        pszText = CopyText(other.pszText);
    } catch (const std::bad_alloc&) {
        pszText = nullptr;
    }
}

FIMessageInfo& FIMessageInfo::operator=(const FIMessageInfo& other) {
    if (this == &other) {
        return *this;
    }
    try {
        char* text = CopyText(other.pszText);
        delete[] pszText;
        pszText = text;
        nSeverity = other.nSeverity;
        nParam1 = other.nParam1;
        nParam2 = other.nParam2;
    } catch (const std::bad_alloc&) {
        // Out of memory: the message keeps what it held.
    }
    return *this;
}

FIMessageInfo::~FIMessageInfo() {
    delete[] pszText;
}

FIMessageChain::FIMessageChain(const FIMessageChain& other) {
    try {
        m_messages = CopyMessages(other.m_messages);
    } catch (const std::bad_alloc&) {
        // Out of memory: the copy stays empty.
    }
}

FIMessageChain& FIMessageChain::operator=(const FIMessageChain& other) {
    if (this == &other) {
        return *this;
    }
    try {
        std::vector<FIMessageInfo*> copy = CopyMessages(other.m_messages);
        DestroyAll(m_messages);
        m_messages.swap(copy);
    } catch (const std::bad_alloc&) {
        // Out of memory: the chain keeps what it held.
    }
    return *this;
}

FIMessageChain::~FIMessageChain() {
    DestroyAll(m_messages);
}

int FIMessageChain::Count() const {
    return static_cast<int>(m_messages.size());
}

void FIMessageChain::Add(FIMessageSeverity severity, int param1, int param2, const char* text) {
    try {
        std::unique_ptr<FIMessageInfo> message = MakeMessage(severity, param1, param2, text);
        m_messages.push_back(message.get());
        message.release();
    } catch (const std::bad_alloc&) {
        // Out of memory: nothing is added.
    }
}

FIMessageInfo* FIMessageChain::Get(int index) const {
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return m_messages[static_cast<size_t>(index)];
}

void FIMessageChain::RemoveAt(int index) {
    if (index < 0 || index >= Count()) {
        return;
    }
    delete m_messages[static_cast<size_t>(index)];
    m_messages.erase(m_messages.begin() + index);
}

} // namespace FI
