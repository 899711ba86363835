#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

// The newest entries of a stream that any thread adds to, numbered from 1, for readers that ask
// "what came after N" and may wait for it. The storage is allocated once when the ring opens, so an
// Add never allocates; a writer and a reader each hold the lock for one copy only.
//
// Entry is a plain record with a `uint64_t seq` member, which Add sets.
template <typename Entry>
class SequenceRing {
public:
    // What a reader learns besides the entries: the highest number added so far, and how many of
    // the oldest entries the ring no longer holds.
    struct Extent {
        uint64_t last;
        uint64_t dropped;
    };

    // Storage for `capacity` entries, numbering from 1 again. False when it cannot be had.
    bool Open(size_t capacity)
    {
        std::unique_ptr<Entry[]> storage(new (std::nothrow) Entry[capacity]);
        if (storage == nullptr) {
            return false;
        }
        std::lock_guard<std::mutex> hold(lock_);
        entries_ = std::move(storage);
        capacity_ = capacity;
        last_ = 0;
        stopping_ = false;
        return true;
    }

    // Ends every wait at once, and every later wait before it starts; the entries stay readable.
    void Stop()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        added_.notify_all();
    }

    // Frees the storage; later adds do nothing and reads find nothing.
    void Close()
    {
        std::unique_ptr<Entry[]> storage;
        {
            std::lock_guard<std::mutex> hold(lock_);
            storage = std::move(entries_);
            capacity_ = 0;
            stopping_ = true;
        }
        added_.notify_all();
    }

    // `fill(entry)` writes the new entry's fields under the lock; it must only copy.
    template <typename Fill>
    void Add(Fill fill)
    {
        bool someoneWaits = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (entries_ == nullptr) {
                return;
            }
            Entry& entry = entries_[last_ % capacity_];
            entry.seq = ++last_;
            fill(entry);
            someoneWaits = waiters_ > 0;
        }
        // A client thread adds after every transaction; most of the time nobody waits.
        if (someoneWaits) {
            added_.notify_all();
        }
    }

    // Appends to *out the entries numbered after `after` up to `until`, at most `limit` of them, in
    // order. The caller reserves room beforehand, so nothing is allocated under the lock.
    Extent CopyAfter(uint64_t after, uint64_t until, size_t limit, std::vector<Entry>* out) const
    {
        std::lock_guard<std::mutex> hold(lock_);
        const uint64_t first = FirstHeld();
        uint64_t seq = after + 1 > first ? after + 1 : first;
        const uint64_t end = until < last_ ? until : last_;
        for (; seq <= end && limit > 0; ++seq, --limit) {
            out->push_back(entries_[(seq - 1) % capacity_]);
        }
        return Extent{last_, first - 1};
    }

    Extent CurrentExtent() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return Extent{last_, FirstHeld() - 1};
    }

    // Returns once an entry numbered after `after` exists, the ring stops, or `milliseconds` pass.
    void WaitAfter(uint64_t after, int milliseconds)
    {
        std::unique_lock<std::mutex> hold(lock_);
        ++waiters_;
        added_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                        [&] { return last_ > after || stopping_; });
        --waiters_;
    }

private:
    // Under lock_: the number of the oldest entry held (last_ + 1 when none is).
    uint64_t FirstHeld() const
    {
        if (entries_ == nullptr) {
            return last_ + 1;
        }
        return last_ > capacity_ ? last_ - capacity_ + 1 : 1;
    }

    mutable std::mutex lock_;   // guards every field below
    std::condition_variable added_;
    std::unique_ptr<Entry[]> entries_;
    size_t capacity_ = 0;
    uint64_t last_ = 0;
    bool stopping_ = false;
    int waiters_ = 0;   // readers inside WaitAfter
};
