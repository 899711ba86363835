#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
// one copy only, so that a slow reader never holds up a client thread.
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

    // Adds a record of `size` bytes, which `fill(bytes)` writes under the lock; it must only copy,
    // or count what only this lock orders. A record longer than the ring was opened for is not added.
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

    // Room for records copied out of the ring, so that a reader can go through them without
    // holding the lock that every client thread takes to add one: with everything on one CPU, a
    // reader preempted while holding it makes the next client thread to finish a transaction
    // sleep until the reader runs again. Allocated by the reader, never under the lock.
    class Batch {
    public:
        // Room for `records` records of at most `maxRecordSize` bytes each; HasRoom() tells whether
        // it could be had.
        Batch(size_t records, size_t maxRecordSize);
        bool HasRoom() const { return bytes_ != nullptr; }
        size_t Records() const { return records_; }

    private:
        friend class PackedRing;
        std::unique_ptr<uint8_t[]> bytes_;   // each record: its size in 8 bytes, then its bytes
        size_t records_ = 0;
        size_t byteCapacity_ = 0;
    };

    // Hands `visit(seq, bytes, size)` the records numbered after `after` up to `until`, at most as
    // many as `batch` holds, in order. They are copied into the batch under the lock and handed
    // over after it was let go; the bytes are valid until the batch is used again.
    template <typename Visitor>
    Visit VisitAfter(uint64_t after, uint64_t until, Batch* batch, Visitor visit) const
    {
        const Visit copied = CopyAfter(after, until, batch);
        const uint8_t* record = batch->bytes_.get();
        for (uint64_t seq = copied.lastSeq + 1 - copied.count; seq <= copied.lastSeq; ++seq) {
            uint64_t size;
            std::memcpy(&size, record, sizeof size);
            visit(seq, record + sizeof size, static_cast<size_t>(size));
            record += sizeof size + AlignedSize(static_cast<size_t>(size));
        }
        return copied;
    }

    Extent CurrentExtent() const;

    // Returns once a record numbered after `after` exists, the ring stops, or `milliseconds` pass.
    void WaitAfter(uint64_t after, int milliseconds);

private:
    struct RecordPlace {
        uint32_t offset;
        uint32_t size;
    };

    // Records start on 8-byte boundaries, so that their fixed fields are copied aligned.
    static constexpr size_t AlignedSize(size_t size) { return (size + 7) / 8 * 8; }

    // Copies the records VisitAfter hands over into the batch, under the lock.
    Visit CopyAfter(uint64_t after, uint64_t until, Batch* batch) const;

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
