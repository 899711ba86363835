#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

// The newest records of a stream that any thread adds to, numbered from 1, for readers that ask
// "what came after N" and may wait for it, like SequenceRing; but each record takes only the bytes
// it needs, one after the other. A record sized for the longest one would make every add touch
// several cache lines of a ring far larger than the caches, when most records fill one.
//
// It keeps the newest `capacity` records whatever their lengths: the byte storage has room for
// capacity + 1 records of the longest kind, since a record never wraps around the storage's end
// (it starts again at the beginning, leaving less than one longest record unused), so the bytes of
// the newest `capacity` records never reach back to their own oldest. Storage is allocated once
// when the ring opens, so an add never allocates; a writer and a reader each hold the lock for
// one copy only.
class PackedRing {
public:
    // What a reader learns besides the records: the highest number added so far, and how many of
    // the oldest records the ring no longer holds.
    struct Extent {
        uint64_t last;
        uint64_t dropped;
    };

    // What VisitAfter did: the extent as it found it, how many records it handed over, and the
    // number of the last of them.
    struct Visit {
        Extent extent;
        size_t count;
        uint64_t lastSeq;
    };

    // Room for the newest `capacity` records of at most `maxRecordSize` bytes each, numbering from
    // 1 again. False when the storage cannot be had.
    bool Open(size_t capacity, size_t maxRecordSize);

    // Ends every wait at once, and every later wait before it starts; the records stay readable.
    void Stop();

    // Frees the storage; later adds do nothing and reads find nothing.
    void Close();

    // Adds a record of `size` bytes, which `fill(bytes)` writes under the lock; it must only copy.
    // A record longer than the ring was opened for is not added.
    template <typename Fill>
    void Add(size_t size, Fill fill)
    {
        bool someoneWaits = false;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (bytes_ == nullptr || size > maxRecordSize_) {
                return;
            }
            fill(bytes_.get() + Place(size));
            someoneWaits = waiters_ > 0;
        }
        // A client thread adds after every transaction; most of the time nobody waits.
        if (someoneWaits) {
            added_.notify_all();
        }
    }

    // Hands `visit(seq, bytes, size)` the records numbered after `after` up to `until`, at most
    // `limit` of them, in order, under the lock. `visit` must neither block nor allocate, and the
    // bytes are valid only during the call.
    template <typename Visitor>
    Visit VisitAfter(uint64_t after, uint64_t until, size_t limit, Visitor visit) const
    {
        std::lock_guard<std::mutex> hold(lock_);
        const uint64_t first = FirstHeld();
        uint64_t seq = after + 1 > first ? after + 1 : first;
        const uint64_t end = until < last_ ? until : last_;
        size_t count = 0;
        for (; seq <= end && count < limit; ++seq, ++count) {
            const RecordPlace& place = places_[(seq - 1) % capacity_];
            visit(seq, bytes_.get() + place.offset, static_cast<size_t>(place.size));
        }
        return Visit{Extent{last_, first - 1}, count, seq - 1};
    }

    Extent CurrentExtent() const;

    // Returns once a record numbered after `after` exists, the ring stops, or `milliseconds` pass.
    void WaitAfter(uint64_t after, int milliseconds);

private:
    struct RecordPlace {
        uint32_t offset;
        uint32_t size;
    };

    // Under lock_: numbers a new record of `size` bytes and answers the offset its bytes go to.
    size_t Place(size_t size);

    // Under lock_: the number of the oldest record held (last_ + 1 when none is).
    uint64_t FirstHeld() const;

    mutable std::mutex lock_;   // guards every field below
    std::condition_variable added_;
    std::unique_ptr<uint8_t[]> bytes_;
    std::unique_ptr<RecordPlace[]> places_;   // record `seq` is at places_[(seq - 1) % capacity_]
    size_t capacity_ = 0;
    size_t maxRecordSize_ = 0;
    size_t byteCapacity_ = 0;
    size_t next_ = 0;   // where the next record's bytes begin
    uint64_t last_ = 0;
    bool stopping_ = false;
    int waiters_ = 0;   // readers inside WaitAfter
};
