// Several threads hammer one run of registers at once. Every writer writes the whole run with
// one repeated value, so any read that returns two different values has seen half of a write.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

namespace {

constexpr uint32_t kRunFirst = 60000;
constexpr uint32_t kRunCount = 100;
constexpr int kOperationsPerThread = 20000;

bool AllEqual(const uint16_t* values, uint32_t count)
{
    for (uint32_t i = 1; i < count; ++i) {
        if (values[i] != values[0]) {
            return false;
        }
    }
    return true;
}

// Writes the whole run with WriteRegisters, one value per write.
void Writer(unsigned id, std::atomic<int>* torn)
{
    (void)torn;
    uint16_t values[kRunCount];
    for (int i = 0; i < kOperationsPerThread; ++i) {
        const uint16_t value = static_cast<uint16_t>((id << 12) | (i & 0x0FFF));
        for (uint16_t& cell : values) {
            cell = value;
        }
        WriteRegisters(kRunFirst, kRunCount, values);
    }
}

// Reads a random part of the run and writes the whole run, under one hold.
void ReadWriter(unsigned id, std::atomic<int>* torn)
{
    std::mt19937 random(id);
    uint16_t values[kRunCount];
    uint16_t read[kRunCount];
    for (int i = 0; i < kOperationsPerThread; ++i) {
        const uint16_t value = static_cast<uint16_t>((id << 12) | (i & 0x0FFF));
        for (uint16_t& cell : values) {
            cell = value;
        }
        const uint32_t offset = random() % kRunCount;
        const uint32_t count = 1 + random() % (kRunCount - offset);
        if (!ReadWriteRegisters(kRunFirst + offset, count, read, kRunFirst, kRunCount, values) ||
            !AllEqual(read, count)) {
            ++*torn;
        }
    }
}

// Reads random parts of the run; each read must be all one value.
void Reader(unsigned id, std::atomic<int>* torn)
{
    std::mt19937 random(id);
    uint16_t read[kRunCount];
    for (int i = 0; i < kOperationsPerThread; ++i) {
        const uint32_t offset = random() % kRunCount;
        const uint32_t count = 1 + random() % (kRunCount - offset);
        if (!ReadRegisters(kRunFirst + offset, count, read) || !AllEqual(read, count)) {
            ++*torn;
        }
    }
}

TEST(Concurrency, ReadsNeverSeeHalfAWrite)
{
    InitRegisterTable();
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    unsigned id = 1;
    for (void (*body)(unsigned, std::atomic<int>*) : {Writer, Writer, ReadWriter, ReadWriter, Reader, Reader}) {
        threads.emplace_back(body, id++, &torn);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(torn.load(), 0);
    uint16_t final[kRunCount];
    PeekRegisters(kRunFirst, kRunCount, final);
    EXPECT_TRUE(AllEqual(final, kRunCount));
}

// Window changes from the console land between requests, never between a request's window test
// and its copy: a reader inside the window either gets the whole run or is refused.
TEST(Concurrency, WindowChangesAndEnableFlagsUnderTraffic)
{
    InitCoilTable();
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread console([&] {
        for (int i = 0; i < kOperationsPerThread && !stop.load(); ++i) {
            SetCoilWindow(i % 2 == 0 ? 0 : 1000, 65535);
            SetFunctionEnabled(3, i % 2 == 0);
        }
        stop.store(true);
    });
    std::thread client([&] {
        uint8_t ones[50];
        std::memset(ones, 1, sizeof ones);
        uint8_t read[50];
        while (!stop.load()) {
            std::memset(read, 0xEE, sizeof read);
            if (ReadCoils(980, 50, read)) {
                wrong += read[0] == 0xEE ? 1 : 0;
            } else if (read[0] != 0xEE) {
                ++wrong;
            }
            WriteCoils(980, 50, ones);
            (void)IsFunctionEnabled(3);
        }
    });
    console.join();
    client.join();
    SetFunctionEnabled(3, true);
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
