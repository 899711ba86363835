#include "control/packed_ring.h"

#include <chrono>
#include <new>

PackedRing::Batch::Batch(size_t records, size_t maxRecordSize)
    : byteCapacity_(records * (sizeof(uint64_t) + AlignedSize(maxRecordSize)))
{
    bytes_.reset(new (std::nothrow) uint8_t[byteCapacity_]);
    records_ = bytes_ != nullptr ? records : 0;
}

bool PackedRing::Open(size_t capacity, size_t maxRecordSize)
{
    const size_t byteCapacity = (capacity + 1) * AlignedSize(maxRecordSize);
    if (capacity == 0 || byteCapacity > UINT32_MAX) {
        return false;
    }
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[byteCapacity]);
    std::unique_ptr<RecordPlace[]> places(new (std::nothrow) RecordPlace[capacity]);
    if (bytes == nullptr || places == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> hold(lock_);
    bytes_ = std::move(bytes);
    places_ = std::move(places);
    capacity_ = capacity;
    maxRecordSize_ = maxRecordSize;
    byteCapacity_ = byteCapacity;
    next_ = 0;
    last_ = 0;
    stopping_ = false;
    return true;
}

void PackedRing::Stop()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    added_.notify_all();
}

void PackedRing::Close()
{
    std::unique_ptr<uint8_t[]> bytes;
    std::unique_ptr<RecordPlace[]> places;
    {
        std::lock_guard<std::mutex> hold(lock_);
        bytes = std::move(bytes_);
        places = std::move(places_);
        capacity_ = 0;
        maxRecordSize_ = 0;
        byteCapacity_ = 0;
        stopping_ = true;
    }
    added_.notify_all();
}

PackedRing::Extent PackedRing::CurrentExtent() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return Extent{last_, FirstHeld() - 1};
}

PackedRing::Visit PackedRing::CopyAfter(uint64_t after, uint64_t until, Batch* batch) const
{
    std::lock_guard<std::mutex> hold(lock_);
    const uint64_t first = FirstHeld();
    uint64_t seq = after + 1 > first ? after + 1 : first;
    const uint64_t end = until < last_ ? until : last_;
    size_t count = 0;
    size_t used = 0;
    for (; seq <= end && count < batch->records_; ++seq, ++count) {
        const RecordPlace& place = places_[(seq - 1) % capacity_];
        const uint64_t size = place.size;
        if (used + sizeof size + AlignedSize(place.size) > batch->byteCapacity_) {
            break;   // only for a batch made for shorter records than this ring's
        }
        std::memcpy(batch->bytes_.get() + used, &size, sizeof size);
        std::memcpy(batch->bytes_.get() + used + sizeof size, bytes_.get() + place.offset, place.size);
        used += sizeof size + AlignedSize(place.size);
    }
    return Visit{Extent{last_, first - 1}, count, seq - 1};
}

void PackedRing::WaitAfter(uint64_t after, int milliseconds)
{
    std::unique_lock<std::mutex> hold(lock_);
    ++waiters_;
    added_.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return last_ > after || stopping_; });
    --waiters_;
}

size_t PackedRing::Place(size_t size)
{
    if (next_ + size > byteCapacity_) {
        next_ = 0;
    }
    const size_t offset = next_;
    places_[last_ % capacity_] = RecordPlace{static_cast<uint32_t>(offset), static_cast<uint32_t>(size)};
    ++last_;
    next_ = offset + AlignedSize(size);
    return offset;
}

uint64_t PackedRing::FirstHeld() const
{
    if (bytes_ == nullptr) {
        return last_ + 1;
    }
    return last_ > capacity_ ? last_ - capacity_ + 1 : 1;
}
