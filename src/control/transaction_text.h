#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "control/transaction_history.h"
#include "platform/clock.h"

// The answer of GET /api/v1/transactions written as text, entry by entry, into one buffer:
// {"transactions":[{"seq":1,"time":"13:05:34.034","socket":8,"peer":"127.0.0.1:40112",
// "request":"0001...","response":"0001...","exception":0},...],"last":1,"dropped":0}. A full
// history is 10,000 entries and a dashboard may ask for it ten times a second while Modbus clients
// keep the same CPU busy; built as a JSON document, every entry cost a score of allocations.
class TransactionText {
public:
    // A buffer with room for `entries` entries of any length and the answer's ends, its beginning
    // written; only the pages that the text reaches are ever touched. HasBuffer() tells whether it
    // could be had.
    explicit TransactionText(size_t entries);

    bool HasBuffer() const { return buffer_ != nullptr; }
    // False, adding nothing, when the room for the entries asked for is used up.
    bool Add(const KeptTransaction& kept);
    void Finish(uint64_t last, uint64_t dropped);

    const char* Data() const { return buffer_.get(); }
    size_t Size() const { return size_; }

private:
    // The local time of day of a stamp: one time-zone conversion per distinct second, since a
    // history's thousands of stamps come from a few seconds. (The zone was read when the first
    // log line was stamped, so a conversion reads no file.)
    TimeOfDay LocalTime(const WallTime& stamp);

    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    size_t size_ = 0;
    bool first_ = true;
    bool converted_ = false;
    int64_t convertedSecond_ = 0;
    TimeOfDay convertedTime_{};
};
