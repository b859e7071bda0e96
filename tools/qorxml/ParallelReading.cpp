#include "qorxml/ParallelReading.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <filesystem>
#include <new>

#include <sys/resource.h>
#include <sys/stat.h>

namespace qorxml {
namespace {

// The output that a file read ahead of its turn keeps before it waits for its turn.
constexpr size_t k_keptLimit = size_t{1} << 20;
// How many files each worker may read ahead of the one whose turn it is.
constexpr size_t k_filesPerJob = 4;

// Appends to what a file keeps; false when that would pass the limit or memory runs out.
bool Keep(std::string& kept, const char* data, size_t size) {
    if (size > k_keptLimit - kept.size()) {
        return false;
    }
    try {
        kept.append(data, size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The descriptors open in the process, the standard ones and those the parent left open among
// them; 3 when that cannot be told.
rlim_t OpenDescriptors() {
    std::error_code error;
    rlim_t count = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
         !error && entry != end; entry.increment(error)) {
        ++count;
    }
    // One of them is the listing's own.
    return error || count == 0 ? 3 : count - 1;
}

// The most workers that the descriptors still free allow. Each worker holds its document open,
// also while it waits for its turn; half of those free are left for the rest (the log, a
// character set's module).
unsigned MostJobs() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return UINT_MAX;
    }
    const rlim_t open = OpenDescriptors();
    const rlim_t free = limit.rlim_cur > open ? limit.rlim_cur - open : 0;
    return static_cast<unsigned>(std::clamp<rlim_t>(free / 2, 1, UINT_MAX));
}

// Standard input, and any file that is not a regular one (/dev/stdin, a FIFO, a socket), is
// read only in its turn: another reading of the same input ahead of it would take part of it.
bool ReadInTurnOnly(const std::string& file) {
    struct stat status {};
    return file == "-" || stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode);
}

} // namespace

ParallelReading::ParallelReading(const std::vector<std::string>& files, Format format,
                                 OutputSink& sink)
    : m_files(files), m_format(format), m_sink(sink) {}

ParallelReading::~ParallelReading() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

unsigned ParallelReading::Start(unsigned jobs) {
    jobs = std::min(jobs, MostJobs());
    try {
        for (const std::string& file : m_files) {
            m_inTurnOnly.push_back(ReadInTurnOnly(file));
        }
        const size_t slots = std::min(m_files.size(), size_t{jobs} * k_filesPerJob);
        while (m_slots.size() < slots) {
            m_slots.push_back(std::make_unique<Slot>(*this));
        }
        while (!m_slots.empty() && m_workers.size() < jobs) {
            m_workers.emplace_back(&ParallelReading::Work, this);
        }
    } catch (const std::exception&) {
        // Out of memory or of threads: the workers that started do the work.
    }
    return static_cast<unsigned>(m_workers.size());
}

FileResult ParallelReading::Finish(size_t index) {
    Slot& slot = *m_slots[index % m_slots.size()];
    std::unique_lock<std::mutex> lock(m_mutex);
    m_turn = index;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return slot.file == index; });
    Release(slot, lock);
    m_changed.wait(lock, [&] { return slot.done; });
    return slot.result;
}

void ParallelReading::Work() {
    DocumentReader reader(m_format);
    while (Slot* slot = Take()) {
        FileResult result;
        {
            OutputBuffer out(*slot);
            result = reader.Read(m_files[slot->file], out, &slot->direct);
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            slot->result = result;
            slot->done = true;
        }
        m_changed.notify_all();
    }
}

ParallelReading::Slot* ParallelReading::Take() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // A slot is free once the file it held has had its turn; some files wait for their own.
    m_changed.wait(lock, [&] {
        return m_stopping || m_next == m_files.size() ||
               (m_next < m_turn + m_slots.size() && (!m_inTurnOnly[m_next] || m_next == m_turn));
    });
    if (m_stopping || m_next == m_files.size()) {
        return nullptr;
    }
    Slot& slot = *m_slots[m_next % m_slots.size()];
    slot.file = m_next++;
    slot.direct = false;
    slot.done = false;
    slot.kept.clear();
    slot.messages.clear();
    m_changed.notify_all();
    return &slot;
}

void ParallelReading::Out(Slot& slot, const char* data, size_t size) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!slot.direct && (Keep(slot.kept, data, size) || !AwaitTurn(slot, lock))) {
            return;
        }
    }
    m_sink.Out(data, size);
}

void ParallelReading::Err(Slot& slot, const std::string& line) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!slot.direct) {
            try {
                slot.messages.emplace_back(slot.kept.size(), line);
                return;
            } catch (const std::bad_alloc&) {
            }
            if (!AwaitTurn(slot, lock)) {
                return;
            }
        }
    }
    m_sink.Err(line);
}

bool ParallelReading::AwaitTurn(Slot& slot, std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [&] { return slot.direct || m_stopping; });
    return slot.direct;
}

void ParallelReading::Release(Slot& slot, std::unique_lock<std::mutex>& lock) {
    // The worker may keep more while the lock is left for the writing: take turns until none is
    // left.
    for (;;) {
        std::string kept;
        std::vector<std::pair<size_t, std::string>> messages;
        kept.swap(slot.kept);
        messages.swap(slot.messages);
        if (kept.empty() && messages.empty()) {
            break;
        }
        lock.unlock();
        size_t written = 0;
        for (const auto& [at, line] : messages) {
            m_sink.Out(kept.data() + written, at - written);
            written = at;
            m_sink.Err(line);
        }
        m_sink.Out(kept.data() + written, kept.size() - written);
        lock.lock();
    }
    slot.direct = true;
    m_changed.notify_all();
}

} // namespace qorxml
