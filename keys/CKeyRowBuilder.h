// Makes the rows of a document being opened on a second thread while the caller reads the records: making
// a row (its object, wrapper and description) costs about as much as reading its record, so a large
// database opens in a little more than the time the reading takes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "keys/CKey.h"

class CKeyRowBuilder {
public:
    using KeyList = std::vector<Glib::RefPtr<CKey>>;
    using Index = std::unordered_map<std::uint32_t, Glib::RefPtr<CKey>>;
    // A record whose id an earlier record of the file already has, with its position in the file.
    using Repeated = std::vector<std::pair<std::uint32_t, key_info>>;

    // For a file of count records.
    explicit CKeyRowBuilder(std::uint32_t count);
    // Stops the thread when the reading failed; rows made so far are dropped.
    ~CKeyRowBuilder();
    CKeyRowBuilder(const CKeyRowBuilder&) = delete;
    CKeyRowBuilder& operator=(const CKeyRowBuilder&) = delete;

    // The record at position k of the file (k below count).
    void add(std::uint32_t k, key_info&& info);
    // Waits for every row: keys[k] is the row of record k, null where the record's id is repeated; index
    // holds each key by id. Rethrows what stopped the thread.
    void finish(KeyList& keys, Index& index, Repeated& repeated);

private:
    using Batch = std::vector<std::pair<std::uint32_t, key_info>>;
    void run();
    void hand_over();

    KeyList m_keys;
    Index m_index;
    Repeated m_repeated;
    Batch m_filling;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches; // guarded by m_mutex
    bool m_done = false;         // guarded by m_mutex: no more batches come
    bool m_stop = false;         // guarded by m_mutex: drop the rest
    std::exception_ptr m_failure;
    std::thread m_thread;
};
