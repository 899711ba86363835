// The request path must never touch a byte past the 260-byte ADU buffer, whatever the request
// claims. The buffer is placed so that its last byte is followed by an unreadable page: any read
// or write beyond it crashes the test.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <random>

#include "modbus/adu_test_helpers.h"

namespace {

class GuardedAdu {
public:
    GuardedAdu()
    {
        pageSize_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* pages = mmap(nullptr, 2 * pageSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) {
            return;
        }
        pages_ = static_cast<uint8_t*>(pages);
        if (mprotect(pages_ + pageSize_, pageSize_, PROT_NONE) != 0) {
            munmap(pages_, 2 * pageSize_);
            pages_ = nullptr;
        }
    }
    ~GuardedAdu()
    {
        if (pages_ != nullptr) {
            munmap(pages_, 2 * pageSize_);
        }
    }
    GuardedAdu(const GuardedAdu&) = delete;
    GuardedAdu& operator=(const GuardedAdu&) = delete;

    // The buffer's last byte is the last readable one.
    uint8_t* Buffer() const { return pages_ == nullptr ? nullptr : pages_ + pageSize_ - kAduCapacity; }

private:
    size_t pageSize_ = 0;
    uint8_t* pages_ = nullptr;
};

// Runs decode, execute and build over the guarded buffer and checks the response's shape.
void AnswerInPlace(uint8_t* adu, uint16_t length)
{
    static RequestRecord record;
    uint8_t identifiers[7];
    std::memcpy(identifiers, adu, sizeof identifiers);
    ExceptionCode code = DecodeRequest(adu, length, &record);
    if (code == kNoException) {
        code = ExecuteRequest(&record);
    }
    const uint16_t responseLength = code != kNoException
                                        ? BuildExceptionResponse(code, record.functionCode, adu)
                                        : BuildResponse(&record, adu);
    ASSERT_GE(responseLength, kExceptionResponseLength);
    ASSERT_LE(responseLength, kMaxResponseLength);
    ASSERT_EQ(0, std::memcmp(adu, identifiers, sizeof identifiers));
}

TEST(GuardPage, EveryCodeAtEveryLengthWithWorstCaseFields)
{
    ResetDataTables();
    GuardedAdu guarded;
    uint8_t* adu = guarded.Buffer();
    ASSERT_NE(adu, nullptr);
    // The largest quantities and byte counts each code could claim: 0xFF everywhere.
    for (unsigned code = 0; code < 256; ++code) {
        for (uint16_t length = kMinRequestLength; length <= kAduCapacity; ++length) {
            std::memset(adu, 0xFF, kAduCapacity);
            adu[kFunctionCodeOffset] = static_cast<uint8_t>(code);
            AnswerInPlace(adu, length);
        }
    }
}

TEST(GuardPage, RandomRequestsOfImplementedCodes)
{
    ResetDataTables();
    GuardedAdu guarded;
    uint8_t* adu = guarded.Buffer();
    ASSERT_NE(adu, nullptr);
    std::mt19937 random(20261207);
    const uint8_t codes[] = {1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23, 43};
    // Device identification values of every length up to the longest, so that streams need "more follows".
    const char longText[kMaxDeviceIdValueLength] = {};
    for (int round = 0; round < 200000; ++round) {
        for (uint16_t i = 0; i < kAduCapacity; ++i) {
            adu[i] = static_cast<uint8_t>(random());
        }
        if (round % 1000 == 0) {
            DeviceIdentification identification{};
            for (int id = 0; id < kDeviceIdObjectCount; ++id) {
                SetDeviceIdObject(&identification, id, longText, random() % (kMaxDeviceIdValueLength + 1));
            }
            ApplyDeviceIdentification(identification);
            SetStandardLimits(round % 2000 == 0);
        }
        adu[kFunctionCodeOffset] = codes[random() % sizeof codes];
        if (adu[kFunctionCodeOffset] == kFunctionEncapsulatedInterface && random() % 2 == 0) {
            adu[kMeiTypeOffset] = kMeiReadDeviceIdentification;
            adu[kReadDeviceIdCodeOffset] = static_cast<uint8_t>(random() % 6);
            adu[kObjectIdOffset] = static_cast<uint8_t>(random() % 8);
        }
        // Small quantities and matching byte counts half of the time, so requests get past decoding.
        if (random() % 2 == 0) {
            adu[10] = 0;
            adu[11] = static_cast<uint8_t>(random() % 128);
            adu[12] = static_cast<uint8_t>(adu[7] == 15 ? (adu[11] + 7) / 8 : 2 * adu[11]);
            adu[14] = 0;
            adu[15] = static_cast<uint8_t>(random() % 124);
            adu[16] = static_cast<uint8_t>(2 * adu[15]);
        }
        const uint16_t length = static_cast<uint16_t>(kMinRequestLength + random() % (kAduCapacity - kMinRequestLength + 1));
        AnswerInPlace(adu, length);
    }
}

}  // namespace
