// ParallelReading: reads files on worker threads, each thread with its own DocumentReader, and
// hands their output to one sink in the order the files were given, each file's whole. The file
// whose turn it is writes straight to the sink; a file read ahead of its turn keeps up to 1 MiB
// of output (and its lines for standard error, in their place) and then waits for its turn, and
// no thread reads more than a few files ahead, so memory stays bounded per job whatever the
// documents' size. Standard input ("-"), and any file that is not a regular one, is read only in
// its turn. The caller takes the files' results in order with Finish, from one thread.
#pragma once

#include "qorxml/DocumentReader.h"
#include "qorxml/OutputBuffer.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qorxml {

class ParallelReading {
public:
    // Borrows `files` and `sink`, which must outlive the object.
    ParallelReading(const std::vector<std::string>& files, Format format, OutputSink& sink);
    // Stops taking files and waits for the workers.
    ~ParallelReading();
    ParallelReading(const ParallelReading&) = delete;
    ParallelReading& operator=(const ParallelReading&) = delete;

    // Starts up to `jobs` workers; returns how many started (0: read the files otherwise).
    unsigned Start(unsigned jobs);
    // Writes to the sink what file `index` has kept, lets it write the rest itself, and returns
    // its result once it is read. Called for each file in turn, from 0.
    FileResult Finish(size_t index);

private:
    // The output of one file being read, kept until its turn.
    struct Slot final : OutputSink {
        explicit Slot(ParallelReading& owner) : owner(owner) {}
        void Out(const char* data, size_t size) override { owner.Out(*this, data, size); }
        void Err(const std::string& line) override { owner.Err(*this, line); }

        ParallelReading& owner;
        // The file it holds; past the end until a worker takes one.
        size_t file = static_cast<size_t>(-1);
        // Its turn has come: output goes straight to the sink.
        std::atomic<bool> direct{false};
        bool done = false;
        FileResult result;
        std::string kept;
        // Lines for standard error, each with the length `kept` had when it came.
        std::vector<std::pair<size_t, std::string>> messages;
    };

    void Work();
    // Takes the next file for a worker and readies its slot; null when there is none left.
    Slot* Take();
    void Out(Slot& slot, const char* data, size_t size);
    void Err(Slot& slot, const std::string& line);
    // Waits, with the lock held, until the slot's turn has come; false when the reading stops
    // first.
    bool AwaitTurn(Slot& slot, std::unique_lock<std::mutex>& lock);
    // Writes what the slot kept to the sink (leaving the lock meanwhile), then lets it write
    // directly.
    void Release(Slot& slot, std::unique_lock<std::mutex>& lock);

    const std::vector<std::string>& m_files;
    const Format m_format;
    OutputSink& m_sink;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Slot i % m_slots.size() holds file i.
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<std::thread> m_workers;
    // Whether each file waits for its turn before it is read.
    std::vector<bool> m_inTurnOnly;
    size_t m_next = 0;
    size_t m_turn = 0;
    bool m_stopping = false;
};

} // namespace qorxml
