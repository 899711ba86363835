#include "control/packed_ring.h"

#include <chrono>
#include <new>

namespace {

// Records start on 8-byte boundaries, so that a record's fixed fields are copied aligned.
constexpr size_t kRecordAlignment = 8;

constexpr size_t Aligned(size_t size)
{
    return (size + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
}

}  // namespace

bool PackedRing::Open(size_t capacity, size_t maxRecordSize)
{
    const size_t byteCapacity = (capacity + 1) * Aligned(maxRecordSize);
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
    next_ = offset + Aligned(size);
    return offset;
}

uint64_t PackedRing::FirstHeld() const
{
    if (bytes_ == nullptr) {
        return last_ + 1;
    }
    return last_ > capacity_ ? last_ - capacity_ + 1 : 1;
}
