#include "generators/generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "faults/rule_words.h"
#include "values/value_bits.h"

namespace {

constexpr uint32_t kMaxAddress = 65535;

constexpr const char* kTableNames[] = {"coils", "discrete-inputs", "input-registers", "registers"};
constexpr const char* kKindNames[] = {"counter", "random", "sine", "triangle", "sawtooth", "square", "time", "copy"};

// The keys each kind takes besides period=, and order= for register types.
enum Key : uint8_t { kStart, kStep, kLimit, kMin, kMax, kSeed, kAmplitude, kOffset, kUpdate, kFrom, kFromTable,
                     kDelay, kPeriod, kOrder, kKeyCount };

constexpr const char* kKeyNames[kKeyCount] = {"start",  "step",   "limit",  "min",    "max",   "seed",  "amplitude",
                                              "offset", "update", "from",   "from-table", "delay", "period", "order"};

constexpr unsigned KeyBit(Key key)
{
    return 1u << key;
}

constexpr unsigned kWaveKeys = KeyBit(kAmplitude) | KeyBit(kOffset) | KeyBit(kUpdate);
constexpr unsigned kKindKeys[] = {
    KeyBit(kStart) | KeyBit(kStep) | KeyBit(kLimit),   // counter
    KeyBit(kMin) | KeyBit(kMax) | KeyBit(kSeed),       // random
    kWaveKeys, kWaveKeys, kWaveKeys, kWaveKeys,
    0,                                                  // time
    KeyBit(kFrom) | KeyBit(kFromTable) | KeyBit(kDelay),   // copy
};
constexpr const char* kKindKeyTexts[] = {
    "start, step, limit, period", "min, max, seed, period",     "amplitude, offset, period, update",
    "amplitude, offset, period, update", "amplitude, offset, period, update", "amplitude, offset, period, update",
    "period",                     "from, from-table, delay, period",
};

bool IsWave(GeneratorKind kind)
{
    return kind == GeneratorKind::kSine || kind == GeneratorKind::kTriangle || kind == GeneratorKind::kSawtooth ||
           kind == GeneratorKind::kSquare;
}

bool Refuse(std::string_view word, const std::string& why, std::string* problem)
{
    *problem = "cannot read '" + std::string(word) + "': " + why;
    return false;
}

// A plain unsigned decimal from `minimum` to `maximum`: digits only.
bool ReadNumber(std::string_view text, uint64_t minimum, uint64_t maximum, uint64_t* value)
{
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, *value);
    return !text.empty() && text[0] != '+' && text[0] != '-' && error == std::errc() && stop == end &&
           *value >= minimum && *value <= maximum;
}

// N ms or N s.
bool ReadDuration(std::string_view text, uint32_t minimum, uint32_t maximum, uint32_t* milliseconds)
{
    uint64_t scale = 0;
    if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
        scale = 1;
        text.remove_suffix(2);
    } else if (text.size() > 1 && text.back() == 's') {
        scale = 1000;
        text.remove_suffix(1);
    } else {
        return false;
    }
    uint64_t count = 0;
    if (!ReadNumber(text, 0, maximum, &count) || count * scale < minimum || count * scale > maximum) {
        return false;
    }
    *milliseconds = static_cast<uint32_t>(count * scale);
    return true;
}

template <typename Enum, size_t N>
bool ReadName(std::string_view word, const char* const (&names)[N], Enum* value)
{
    for (size_t index = 0; index < N; ++index) {
        if (word == names[index]) {
            *value = static_cast<Enum>(index);
            return true;
        }
    }
    return false;
}

// The least value's bits flipped into 0: the sign bit of a signed type, nothing for the others.
uint64_t OffsetBias(const Generator& generator)
{
    if (generator.isBool || !IsSignedType(generator.type)) {
        return 0;
    }
    return uint64_t{1} << (16 * ValueRegisterCount(generator.type) - 1);
}

// A number the type can hold: integers exactly (a sign only for signed types), reals finite and
// within the float type's range.
bool ReadTypedNumber(const Generator& generator, std::string_view text, GeneratorNumber* number)
{
    const char* end = text.data() + text.size();
    if (!generator.isBool && IsRealType(generator.type)) {
        double real = 0;
        auto [stop, error] = std::from_chars(text.data(), end, real);
        uint64_t bits = 0;
        if (text.empty() || error != std::errc() || stop != end || !std::isfinite(real) ||
            !BitsFromReal(generator.type, real, &bits)) {
            return false;
        }
        *number = GeneratorNumber{0, real};
        return true;
    }
    uint64_t bits = 0;
    if (!text.empty() && text[0] == '-') {
        int64_t whole = 0;
        auto [stop, error] = std::from_chars(text.data(), end, whole);
        if (error != std::errc() || stop != end || generator.isBool || !BitsFromSigned(generator.type, whole, &bits)) {
            return false;
        }
    } else {
        uint64_t whole = 0;
        if (!ReadNumber(text, 0, generator.isBool ? 1 : UINT64_MAX, &whole) ||
            (!generator.isBool && !BitsFromUnsigned(generator.type, whole, &bits))) {
            return false;
        }
        bits = generator.isBool ? whole : bits;
    }
    uint64_t offset = bits ^ OffsetBias(generator);
    *number = GeneratorNumber{offset, RealOfOffset(generator, offset)};
    return true;
}

// step=: a non-zero whole number (a fraction too for float types), either sign.
bool ReadStep(Generator* generator, std::string_view text)
{
    if (!generator->isBool && IsRealType(generator->type)) {
        return ReadTypedNumber(*generator, text, &generator->second) && generator->second.real != 0;
    }
    generator->stepDown = !text.empty() && text[0] == '-';
    if (generator->stepDown) {
        text.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    if (!ReadNumber(text, 1, GeneratorSpan(*generator), &magnitude)) {
        return false;
    }
    generator->second = GeneratorNumber{magnitude, generator->stepDown ? -static_cast<double>(magnitude)
                                                                       : static_cast<double>(magnitude)};
    return true;
}

std::string TypeRuleText(const Generator& generator)
{
    if (generator.isBool) {
        return "expected 0 or 1";
    }
    return std::string("expected a number that ") + ValueTypeName(generator.type) + " holds";
}

bool ReadKeyValue(Key key, std::string_view value, Generator* generator, std::string* why)
{
    uint64_t number = 0;
    switch (key) {
    case kStart:
    case kMin:
        *why = TypeRuleText(*generator);
        return ReadTypedNumber(*generator, value, &generator->first);
    case kOffset:
        *why = TypeRuleText(*generator);
        return ReadTypedNumber(*generator, value, &generator->second);
    case kStep:
        *why = "expected a non-zero step that " + std::string(generator->isBool ? "bool" : ValueTypeName(generator->type)) +
               " holds, e.g. step=1 or step=-5";
        return ReadStep(generator, value);
    case kLimit:
    case kMax:
        *why = TypeRuleText(*generator);
        return ReadTypedNumber(*generator, value, &generator->third);
    case kAmplitude:
        *why = TypeRuleText(*generator) + ", not below 0";
        return ReadTypedNumber(*generator, value, &generator->first) && generator->first.real >= 0;
    case kSeed:
        *why = "expected a seed from 0 to 18446744073709551615";
        return ReadNumber(value, 0, UINT64_MAX, &generator->seed);
    case kUpdate:
    case kPeriod:
        *why = "expected N ms or N s, from 10 ms to a day, e.g. 100ms or 60s";
        return ReadDuration(value, kMinGeneratorPeriodMilliseconds, kMaxGeneratorPeriodMilliseconds,
                            key == kPeriod ? &generator->periodMilliseconds : &generator->updateMilliseconds);
    case kFrom:
        *why = "expected an address from 0 to 65535";
        if (!ReadNumber(value, 0, kMaxAddress, &number)) {
            return false;
        }
        generator->fromAddress = static_cast<uint16_t>(number);
        return true;
    case kFromTable:
        *why = "expected coils, discrete-inputs, input-registers or registers";
        return ReadName(value, kTableNames, &generator->fromTable);
    case kDelay:
        *why = "expected N ms or N s, at most an hour, e.g. delay=500ms";
        return ReadDuration(value, 0, kMaxCopyDelayMilliseconds, &generator->delayMilliseconds);
    default:
        *why = std::string("expected ") + ValueOrderNamesText();
        return !generator->isBool && !generator->isTimeOfDay &&
               ParseValueOrder(std::string(value).c_str(), &generator->order);
    }
}

// The words that come before the keys: TABLE ADDRESS TYPE KIND.
bool ReadTarget(const std::string_view* words, Generator* generator, std::string* problem)
{
    if (!ReadName(words[0], kTableNames, &generator->table)) {
        return Refuse(words[0], "not a table: expected coils, discrete-inputs, input-registers or registers", problem);
    }
    uint64_t address = 0;
    if (!ReadNumber(words[1], 0, kMaxAddress, &address)) {
        return Refuse(words[1], "expected an address from 0 to 65535", problem);
    }
    generator->address = static_cast<uint16_t>(address);
    const std::string type(words[2]);
    generator->isBool = type == "bool";
    generator->isTimeOfDay = type == "hms";
    if (IsBitTable(generator->table) != generator->isBool) {
        return Refuse(words[2],
                      generator->isBool ? "bool is the type of coils and discrete inputs"
                                        : "coils and discrete inputs take the type bool",
                      problem);
    }
    // ASCII text has no value to count or wave.
    if (!generator->isBool && !generator->isTimeOfDay &&
        (!ParseValueType(type.c_str(), &generator->type) || generator->type == ValueType::kAscii)) {
        return Refuse(words[2],
                      "not a register type: expected uint16, int16, uint32, int32, float32, uint64, int64, float64 "
                      "or hms",
                      problem);
    }
    generator->cellCount = generator->isBool ? 1 : generator->isTimeOfDay ? 3 : ValueRegisterCount(generator->type);
    if (generator->address + generator->cellCount - 1 > static_cast<int>(kMaxAddress)) {
        return Refuse(words[1], "the value's " + std::to_string(generator->cellCount) + " cells run past 65535",
                      problem);
    }
    if (!ReadName(words[3], kKindNames, &generator->kind)) {
        return Refuse(words[3],
                      "not a kind: expected counter, random, sine, triangle, sawtooth, square, time or copy", problem);
    }
    if (generator->isTimeOfDay && generator->kind != GeneratorKind::kTime) {
        return Refuse(words[2], "hms is a type of the kind time only", problem);
    }
    if (generator->kind == GeneratorKind::kTime && !generator->isTimeOfDay && generator->type != ValueType::kUint32 &&
        generator->type != ValueType::kUint64) {
        return Refuse(words[2], "time gives uint32 or uint64 Unix seconds, or hms", problem);
    }
    return true;
}

bool ReadKey(std::string_view word, unsigned* given, Generator* generator, std::string* problem)
{
    const size_t equals = word.find('=');
    Key key = kKeyCount;
    const int kind = static_cast<int>(generator->kind);
    const bool orderAllowed = !generator->isBool && !generator->isTimeOfDay;
    if (!ReadName(word.substr(0, equals), kKeyNames, &key) ||
        !((kKindKeys[kind] | KeyBit(kPeriod) | (orderAllowed ? KeyBit(kOrder) : 0)) & KeyBit(key))) {
        return Refuse(word,
                      std::string("not a key of ") + kKindNames[kind] + ": expected " + kKindKeyTexts[kind] +
                          (orderAllowed ? ", order" : ""),
                      problem);
    }
    if (*given & KeyBit(key)) {
        return Refuse(word, "the key is given twice", problem);
    }
    *given |= KeyBit(key);
    std::string why;
    if (equals == std::string_view::npos || !ReadKeyValue(key, word.substr(equals + 1), generator, &why)) {
        return Refuse(word, why, problem);
    }
    return true;
}

// The defaults of the keys not given, and the rules between keys.
bool Complete(unsigned given, Generator* generator, const std::string_view* words, std::string* problem)
{
    const bool real = !generator->isBool && IsRealType(generator->type);
    const double typeMost = generator->type == ValueType::kFloat32 ? 3.4028234663852886e38 : 1.7976931348623157e308;
    const uint64_t span = GeneratorSpan(*generator);
    switch (generator->kind) {
    case GeneratorKind::kCounter:
        if (!(given & KeyBit(kStart))) {
            generator->first = real ? GeneratorNumber{0, 0} : GeneratorNumber{OffsetBias(*generator), 0};
        }
        if (!(given & KeyBit(kStep))) {
            generator->second = GeneratorNumber{1, 1};
        }
        if (!(given & KeyBit(kLimit))) {
            const bool down = real ? generator->second.real < 0 : generator->stepDown;
            generator->third = real ? GeneratorNumber{0, down ? -typeMost : typeMost}
                                    : GeneratorNumber{down ? 0 : span, RealOfOffset(*generator, down ? 0 : span)};
        }
        break;
    case GeneratorKind::kRandom:
        if (!(given & KeyBit(kMin))) {
            generator->first = real ? GeneratorNumber{0, 0} : GeneratorNumber{0, RealOfOffset(*generator, 0)};
        }
        if (!(given & KeyBit(kMax))) {
            generator->third = real ? GeneratorNumber{0, 1} : GeneratorNumber{span, RealOfOffset(*generator, span)};
        }
        if (generator->first.real > generator->third.real || generator->first.offset > generator->third.offset) {
            return Refuse(words[3], "min is above max", problem);
        }
        if (!(given & KeyBit(kSeed))) {
            // Each target its own sequence, the same in every run.
            generator->seed = uint64_t{static_cast<uint8_t>(generator->table)} << 16 | generator->address;
        }
        break;
    case GeneratorKind::kCopy: {
        if (!(given & KeyBit(kFrom))) {
            return Refuse(words[3], "copy needs from=ADDRESS", problem);
        }
        if (!(given & KeyBit(kFromTable))) {
            generator->fromTable = generator->table;
        }
        if (IsBitTable(generator->fromTable) != IsBitTable(generator->table)) {
            return Refuse(words[3], "a copy reads the same kind of table it writes, bits or registers", problem);
        }
        const int last = generator->fromAddress + generator->cellCount - 1;
        if (last > static_cast<int>(kMaxAddress)) {
            return Refuse(words[3], "the source's cells run past 65535", problem);
        }
        const int targetLast = generator->address + generator->cellCount - 1;
        if (generator->fromTable == generator->table && generator->fromAddress <= targetLast &&
            last >= generator->address) {
            return Refuse(words[3], "a copy onto itself: the source overlaps the target", problem);
        }
        break;
    }
    default:
        break;
    }
    if (IsWave(generator->kind)) {
        if (!(given & KeyBit(kAmplitude))) {
            generator->first = GeneratorNumber{0, 1};
        }
        if (!(given & KeyBit(kUpdate))) {
            generator->updateMilliseconds =
                std::min(kDefaultWaveUpdateMilliseconds, generator->periodMilliseconds);
        }
    } else {
        generator->updateMilliseconds = generator->periodMilliseconds;
    }
    if (generator->kind == GeneratorKind::kCounter) {
        const bool real = !generator->isBool && IsRealType(generator->type);
        const bool down = real ? generator->second.real < 0 : generator->stepDown;
        const bool beyond = real ? (down ? generator->first.real < generator->third.real
                                         : generator->first.real > generator->third.real)
                                 : (down ? generator->first.offset < generator->third.offset
                                         : generator->first.offset > generator->third.offset);
        if (beyond) {
            return Refuse(words[3], down ? "start is below the limit of a falling counter"
                                         : "start is above the limit", problem);
        }
    }
    return true;
}

void ClearGenerator(Generator* generator)
{
    *generator = Generator{};
    generator->type = ValueType::kUint16;
    generator->order = ValueOrder::kAbcd;
    generator->periodMilliseconds = kDefaultGeneratorPeriodMilliseconds;
}

}  // namespace

bool ParseGenerator(const std::string& text, Generator* generator, std::string* problem)
{
    ClearGenerator(generator);
    std::string kept;
    std::string_view words[4];
    int wordCount = 0;
    unsigned given = 0;
    size_t position = 0;
    std::string_view word;
    while (NextRuleWord(text, &position, &word)) {
        if (wordCount < 4) {
            words[wordCount++] = word;
            if (wordCount == 4 && !ReadTarget(words, generator, problem)) {
                return false;
            }
        } else if (!ReadKey(word, &given, generator, problem)) {
            return false;
        }
        kept += (kept.empty() ? "" : " ") + std::string(word);
    }
    if (wordCount < 4) {
        *problem = "expected TABLE ADDRESS TYPE KIND [key=value ...], e.g. \"input-registers 0 float32 sine "
                   "amplitude=10 offset=20 period=60s\"";
        return false;
    }
    if (!Complete(given, generator, words, problem)) {
        return false;
    }
    if (kept.size() >= kGeneratorTextSize) {
        *problem = "the generator is longer than " + std::to_string(kGeneratorTextSize - 1) + " characters";
        return false;
    }
    std::memcpy(generator->text, kept.c_str(), kept.size() + 1);
    return true;
}

const char* GeneratorTableName(GeneratorTable table)
{
    return kTableNames[static_cast<int>(table)];
}

bool IsBitTable(GeneratorTable table)
{
    return table == GeneratorTable::kCoils || table == GeneratorTable::kDiscreteInputs;
}

uint64_t GeneratorSpan(const Generator& generator)
{
    if (generator.isBool) {
        return 1;
    }
    const int width = 16 * ValueRegisterCount(generator.type);
    return width == 64 ? UINT64_MAX : (uint64_t{1} << width) - 1;
}

uint64_t BitsOfOffset(const Generator& generator, uint64_t offset)
{
    return offset ^ OffsetBias(generator);
}

double RealOfOffset(const Generator& generator, uint64_t offset)
{
    if (generator.isBool) {
        return static_cast<double>(offset);
    }
    return RealFromBits(generator.type, BitsOfOffset(generator, offset));
}
