#include "control/transaction_text.h"

#include <array>
#include <charconv>
#include <cstring>
#include <new>

#include "modbus/modbus_limits.h"
#include "server/slot_table.h"

namespace {

// The longest entry and its comma: the members' names and punctuation, two 20-digit numbers, the
// time, a peer whose every character is escaped, and two ADUs in hexadecimal.
constexpr size_t kEntryTextSize = 128 + 2 * 20 + 14 + 6 * kPeerTextSize + 4 * kAduCapacity;
// The answer's beginning, and its end with two 20-digit numbers.
constexpr size_t kBeginTextSize = 32;
constexpr size_t kEndTextSize = 64;
static_assert(kBeginTextSize + kEndTextSize <= kEntryTextSize);

// Every byte's two hexadecimal digits, so that a byte costs one two-byte copy.
constexpr std::array<char, 512> MakeHexPairs()
{
    constexpr char kDigits[] = "0123456789abcdef";
    std::array<char, 512> pairs{};
    for (int byte = 0; byte < 256; ++byte) {
        pairs[2 * byte] = kDigits[byte >> 4];
        pairs[2 * byte + 1] = kDigits[byte & 0x0F];
    }
    return pairs;
}
constexpr std::array<char, 512> kHexPairs = MakeHexPairs();

// Each writer puts its text at `out` and answers the end of what it wrote.
template <size_t Size>
char* WriteText(char* out, const char (&text)[Size])
{
    std::memcpy(out, text, Size - 1);
    return out + Size - 1;
}

template <typename Number>
char* WriteNumber(char* out, Number number)
{
    return std::to_chars(out, out + 20, number).ptr;
}

char* WriteTwoDigits(char* out, int number)
{
    *out++ = static_cast<char>('0' + number / 10 % 10);
    *out++ = static_cast<char>('0' + number % 10);
    return out;
}

// "HH:MM:SS.mmm" in quotes, as TimeText writes it.
char* WriteTime(char* out, const TimeOfDay& time)
{
    *out++ = '"';
    out = WriteTwoDigits(out, time.hour);
    *out++ = ':';
    out = WriteTwoDigits(out, time.minute);
    *out++ = ':';
    out = WriteTwoDigits(out, time.second);
    *out++ = '.';
    *out++ = static_cast<char>('0' + time.millisecond / 100 % 10);
    out = WriteTwoDigits(out, time.millisecond % 100);
    *out++ = '"';
    return out;
}

// A JSON string of at most `size` bytes. A peer's text is an address and a port, but it is escaped
// all the same.
char* WriteString(char* out, const char* value, size_t size)
{
    *out++ = '"';
    for (size_t index = 0; index < size && value[index] != '\0'; ++index) {
        const unsigned char byte = static_cast<unsigned char>(value[index]);
        if (byte == '"' || byte == '\\') {
            *out++ = '\\';
            *out++ = static_cast<char>(byte);
        } else if (byte < 0x20) {
            out = WriteText(out, "\\u00");
            std::memcpy(out, &kHexPairs[2 * byte], 2);
            out += 2;
        } else {
            *out++ = static_cast<char>(byte);
        }
    }
    *out++ = '"';
    return out;
}

char* WriteHex(char* out, const uint8_t* bytes, size_t count)
{
    *out++ = '"';
    for (size_t index = 0; index < count; ++index) {
        std::memcpy(out, &kHexPairs[2 * bytes[index]], 2);
        out += 2;
    }
    *out++ = '"';
    return out;
}

}  // namespace

// Room for the entries, and one entry's room more for the answer's beginning and end.
TransactionText::TransactionText(size_t entries)
    : buffer_(new (std::nothrow) char[(entries + 1) * kEntryTextSize]), capacity_((entries + 1) * kEntryTextSize)
{
    if (buffer_ != nullptr) {
        size_ = static_cast<size_t>(WriteText(buffer_.get(), "{\"transactions\":[") - buffer_.get());
    }
}

bool TransactionText::Add(const KeptTransaction& kept)
{
    // An entry, and the answer's end after it.
    if (buffer_ == nullptr || capacity_ - size_ < kEntryTextSize + kEndTextSize) {
        return false;
    }
    char* const start = buffer_.get() + size_;
    char* out = start;
    if (!first_) {
        *out++ = ',';
    }
    first_ = false;
    out = WriteText(out, "{\"seq\":");
    out = WriteNumber(out, kept.seq);
    out = WriteText(out, ",\"time\":");
    out = WriteTime(out, LocalTime(kept.stamp));
    out = WriteText(out, ",\"socket\":");
    out = WriteNumber(out, kept.socket);
    out = WriteText(out, ",\"peer\":");
    out = WriteString(out, kept.peer, kept.peerLength);
    out = WriteText(out, ",\"request\":");
    out = WriteHex(out, kept.request, kept.requestLength);
    out = WriteText(out, ",\"response\":");
    out = WriteHex(out, kept.response, kept.responseLength);
    out = WriteText(out, ",\"exception\":");
    out = WriteNumber(out, static_cast<unsigned>(kept.exception));
    *out++ = '}';
    size_ += static_cast<size_t>(out - start);
    return true;
}

void TransactionText::Finish(uint64_t last, uint64_t dropped)
{
    if (buffer_ == nullptr) {
        return;
    }
    char* const start = buffer_.get() + size_;
    char* out = WriteText(start, "],\"last\":");
    out = WriteNumber(out, last);
    out = WriteText(out, ",\"dropped\":");
    out = WriteNumber(out, dropped);
    *out++ = '}';
    size_ += static_cast<size_t>(out - start);
}

TimeOfDay TransactionText::LocalTime(const WallTime& stamp)
{
    if (!converted_ || stamp.seconds != convertedSecond_) {
        convertedTime_ = LocalTimeOfDayAt(WallTime{stamp.seconds, 0});
        convertedSecond_ = stamp.seconds;
        converted_ = true;
    }
    TimeOfDay time = convertedTime_;
    time.millisecond = stamp.millisecond;
    return time;
}
