#include "values/value_type.h"

#include <cstring>

namespace {

struct TypeRow {
    ValueType type;
    const char* name;
    int registers;
};

constexpr TypeRow kTypes[] = {
    {ValueType::kUint16, "uint16", 1},  {ValueType::kInt16, "int16", 1},
    {ValueType::kUint32, "uint32", 2},  {ValueType::kInt32, "int32", 2},
    {ValueType::kFloat32, "float32", 2}, {ValueType::kUint64, "uint64", 4},
    {ValueType::kInt64, "int64", 4},    {ValueType::kFloat64, "float64", 4},
    {ValueType::kAscii, "ascii", 1},
};

constexpr const char* kOrderNames[] = {"ABCD", "CDAB", "BADC", "DCBA"};

const TypeRow& RowOf(ValueType type)
{
    return kTypes[static_cast<int>(type)];
}

}  // namespace

const char* ValueTypeName(ValueType type)
{
    return RowOf(type).name;
}

const char* ValueOrderName(ValueOrder order)
{
    return kOrderNames[static_cast<int>(order)];
}

bool ParseValueType(const char* name, ValueType* type)
{
    for (const TypeRow& row : kTypes) {
        if (std::strcmp(name, row.name) == 0) {
            *type = row.type;
            return true;
        }
    }
    return false;
}

bool ParseValueOrder(const char* name, ValueOrder* order)
{
    for (int index = 0; index < 4; ++index) {
        if (std::strcmp(name, kOrderNames[index]) == 0) {
            *order = static_cast<ValueOrder>(index);
            return true;
        }
    }
    return false;
}

int ValueRegisterCount(ValueType type)
{
    return RowOf(type).registers;
}

bool IsIntegerType(ValueType type)
{
    return type != ValueType::kFloat32 && type != ValueType::kFloat64 && type != ValueType::kAscii;
}

bool IsSignedType(ValueType type)
{
    return type == ValueType::kInt16 || type == ValueType::kInt32 || type == ValueType::kInt64;
}

bool IsRealType(ValueType type)
{
    return type == ValueType::kFloat32 || type == ValueType::kFloat64;
}

const char* ValueTypeNamesText()
{
    return "uint16, int16, uint32, int32, float32, uint64, int64, float64, ascii";
}

const char* ValueOrderNamesText()
{
    return "ABCD, CDAB, BADC, DCBA";
}
