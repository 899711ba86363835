#include "control/typed_run.h"

#include <charconv>
#include <cmath>
#include <vector>

#include <nlohmann/json.hpp>

#include "tables/address_window.h"
#include "values/value_bits.h"

namespace {

using json = JsonDocument;

constexpr uint64_t kHighestAddress = kTableSize - 1;

// What a value of the type may be, for messages: "a whole number from 0 to 4294967295".
const char* TypeRule(ValueType type)
{
    switch (type) {
    case ValueType::kUint16: return "a whole number from 0 to 65535";
    case ValueType::kInt16: return "a whole number from -32768 to 32767";
    case ValueType::kUint32: return "a whole number from 0 to 4294967295";
    case ValueType::kInt32: return "a whole number from -2147483648 to 2147483647";
    case ValueType::kUint64: return "a whole number from 0 to 18446744073709551615";
    case ValueType::kInt64: return "a whole number from -9223372036854775808 to 9223372036854775807";
    case ValueType::kFloat32: return "a number from -3.4028235e+38 to 3.4028235e+38";
    case ValueType::kFloat64: return "a finite number";
    case ValueType::kAscii: break;
    }
    return "text";
}

// "a uint32", "an int16".
std::string TypeWithArticle(ValueType type)
{
    return std::string(IsSignedType(type) ? "an " : "a ") + ValueTypeName(type);
}

// JSON gives a number as an unsigned or a signed integer or a double; each goes to the conversion of
// its own kind so that 64-bit integers stay exact. JSON has no NaN or infinities, so a double that
// is one did not come from the text and is refused.
bool ReadTypedValue(const json& cell, ValueType type, uint64_t* bits)
{
    if (cell.is_number_unsigned()) {
        return BitsFromUnsigned(type, cell.get<uint64_t>(), bits);
    }
    if (cell.is_number_integer()) {
        return BitsFromSigned(type, cell.get<int64_t>(), bits);
    }
    if (cell.is_number_float()) {
        const double number = cell.get<double>();
        return std::isfinite(number) && BitsFromReal(type, number, bits);
    }
    return false;
}

// A float32 as the double of its shortest decimal, so that 3.14 written reads back as 3.14 rather
// than as the float's exact 3.140000104904175; the decimal still converts to the same float.
double ShortestFloat32(uint64_t bits)
{
    const float number = static_cast<float>(RealFromBits(ValueType::kFloat32, bits));
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, number);
    double shortest = number;
    std::from_chars(text, written.ptr, shortest);
    return shortest;
}

bool ReadShapeMember(const json& document, const std::string& path, const char* member, std::string* name,
                     std::string* problem)
{
    if (!document.contains(member)) {
        return true;
    }
    const json& value = document[member];
    if (!value.is_string()) {
        *problem = MemberPath(path, member) + ": must be a string, one of " +
                   (std::string(member) == "type" ? ValueTypeNamesText() : ValueOrderNamesText()) + ", got " +
                   JsonText(value);
        return false;
    }
    *name = value.get<std::string>();
    return true;
}

bool ReadAsciiValues(const json& text, const std::string& listPath, ValueOrder order, std::vector<uint16_t>* registers,
                     std::string* problem)
{
    const std::string& characters = text.get_ref<const std::string&>();
    for (size_t index = 0; index < characters.size(); ++index) {
        const uint8_t byte = static_cast<uint8_t>(characters[index]);
        if (byte > 127) {
            *problem = listPath + ": must be ASCII (bytes 0 to 127), got byte " + std::to_string(byte) + " at " +
                       std::to_string(index);
            return false;
        }
    }
    registers->resize(AsciiRegisterCount(characters.size()));
    PlaceAscii(characters.data(), characters.size(), order, registers->data());
    return true;
}

bool ReadNumberValues(const json& list, const std::string& listPath, ValueType type, ValueOrder order,
                      std::vector<uint16_t>* registers, std::string* problem)
{
    const int width = ValueRegisterCount(type);
    registers->resize(list.size() * width);
    for (size_t index = 0; index < list.size(); ++index) {
        uint64_t bits = 0;
        if (!ReadTypedValue(list[index], type, &bits)) {
            *problem = ItemPath(listPath, index) + ": " + JsonText(list[index]) + " is not " + TypeWithArticle(type) +
                       " (" + TypeRule(type) + ")";
            return false;
        }
        PlaceValueBits(type, order, bits, registers->data() + index * width);
    }
    return true;
}

// The values' kind and count before any value is read, so that a run too long for the table is
// refused as such rather than by its first bad value.
bool CheckTypedValues(const json& list, const std::string& path, ValueType type, uint64_t start, std::string* problem)
{
    const std::string listPath = MemberPath(path, "values");
    if (type == ValueType::kAscii && !list.is_string()) {
        *problem = listPath + ": expected one string for type ascii, got " + JsonText(list);
        return false;
    }
    if (type != ValueType::kAscii && !list.is_array()) {
        *problem = listPath + ": expected a list of " + ValueTypeName(type) + " values";
        return false;
    }
    // A JSON string's size() is 1, as any scalar's: its characters are counted from the text.
    const uint64_t count = type == ValueType::kAscii ? list.get_ref<const std::string&>().size() : list.size();
    if (count == 0) {
        *problem = listPath + (type == ValueType::kAscii ? ": must hold at least one character"
                                                          : ": must hold at least one value");
        return false;
    }
    const uint64_t registers = TypedRegisterCount(type, count);
    if (start + registers > kTableSize) {
        *problem = Where(path) + "the run from " + std::to_string(start) + " with " + TypedCountText(type, count) +
                   " passes address 65535";
        return false;
    }
    return true;
}

}  // namespace

bool ReadValueTypeName(const std::string& path, const std::string& name, ValueType* type, std::string* problem)
{
    if (ParseValueType(name.c_str(), type)) {
        return true;
    }
    *problem = path + ": '" + name + "' is not one of " + ValueTypeNamesText();
    return false;
}

bool ReadValueOrderName(const std::string& path, const std::string& name, ValueOrder* order, std::string* problem)
{
    if (ParseValueOrder(name.c_str(), order)) {
        return true;
    }
    *problem = path + ": '" + name + "' is not one of " + ValueOrderNamesText();
    return false;
}

uint64_t TypedRegisterCount(ValueType type, uint64_t count)
{
    return type == ValueType::kAscii ? AsciiRegisterCount(count) : count * ValueRegisterCount(type);
}

std::string TypedCountText(ValueType type, uint64_t count)
{
    const std::string values =
        type == ValueType::kAscii ? " characters" : std::string(" ") + ValueTypeName(type) + " values";
    return std::to_string(count) + values + " (" + std::to_string(TypedRegisterCount(type, count)) + " registers)";
}

bool ParseTypedRegisterRun(const json& document, const std::string& path, RegisterRun* run, std::string* problem)
{
    if (!document.is_object() || (!document.contains("type") && !document.contains("order"))) {
        return ParseRegisterRun(document, path, run, problem);
    }
    uint64_t start = 0;
    if (!ReadRunStart(document, path, {"start", "type", "order", "values"}, &start, problem)) {
        return false;
    }
    std::string typeName = "uint16";
    std::string orderName = "ABCD";
    ValueType type = ValueType::kUint16;
    ValueOrder order = ValueOrder::kAbcd;
    if (!ReadShapeMember(document, path, "type", &typeName, problem) ||
        !ReadShapeMember(document, path, "order", &orderName, problem) ||
        !ReadValueTypeName(MemberPath(path, "type"), typeName, &type, problem) ||
        !ReadValueOrderName(MemberPath(path, "order"), orderName, &order, problem)) {
        return false;
    }
    const json& list = document["values"];
    if (!CheckTypedValues(list, path, type, start, problem)) {
        return false;
    }
    std::vector<uint16_t> registers;
    const std::string listPath = MemberPath(path, "values");
    if (type == ValueType::kAscii ? !ReadAsciiValues(list, listPath, order, &registers, problem)
                                  : !ReadNumberValues(list, listPath, type, order, &registers, problem)) {
        return false;
    }
    run->start = static_cast<uint16_t>(start);
    run->values = std::move(registers);
    return true;
}

json TypedValuesDocument(ValueType type, ValueOrder order, const uint16_t* registers, size_t count)
{
    if (type == ValueType::kAscii) {
        std::string text(count, '\0');
        TakeAscii(registers, count, order, text.data());
        return json(std::move(text));
    }
    const int width = ValueRegisterCount(type);
    json values = json::array();
    for (size_t index = 0; index < count; ++index) {
        const uint64_t bits = TakeValueBits(type, order, registers + index * width);
        if (IsSignedType(type)) {
            values.push_back(SignedFromBits(type, bits));
        } else if (!IsRealType(type)) {
            values.push_back(UnsignedFromBits(type, bits));
        } else if (!std::isfinite(RealFromBits(type, bits))) {
            values.push_back(nullptr);
        } else if (type == ValueType::kFloat32) {
            values.push_back(ShortestFloat32(bits));
        } else {
            values.push_back(RealFromBits(type, bits));
        }
    }
    return values;
}
