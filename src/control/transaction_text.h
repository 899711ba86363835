#pragma once

#include <cstdint>
#include <string>

#include "control/transaction_history.h"
#include "platform/clock.h"

// The answer of GET /api/v1/transactions written as text, entry by entry, into one string:
// {"transactions":[{"seq":1,"time":"13:05:34.034","socket":8,"peer":"127.0.0.1:40112",
// "request":"0001...","response":"0001...","exception":0},...],"last":1,"dropped":0}. A full
// history is 10,000 entries and a dashboard may ask for it ten times a second while Modbus clients
// keep the same CPU busy; built as a JSON document, every entry cost a score of allocations.
class TransactionText {
public:
    explicit TransactionText(std::string* text);
    // Makes room for `count` more entries of any length, so that adding them allocates nothing.
    void MakeRoom(size_t count);
    void Add(const KeptTransaction& kept);
    void Finish(uint64_t last, uint64_t dropped);

private:
    // The local time of day of a stamp: one time-zone conversion per distinct second, since a
    // history's thousands of stamps come from a few seconds. (The zone was read when the first
    // log line was stamped, so a conversion reads no file.)
    TimeOfDay LocalTime(const WallTime& stamp);

    std::string* text_;
    bool first_ = true;
    bool converted_ = false;
    int64_t convertedSecond_ = 0;
    TimeOfDay convertedTime_{};
};
