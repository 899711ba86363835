#include "console/data_area_settings.h"

#include <cstdio>

#include "tables/address_window.h"

namespace {

constexpr const char* kSizeZeroMessage = "Size must be greater than zero.";
constexpr const char* kRangeTooLargeFormat = "Starting Address plus Size cannot exceed %d.";

bool RangeFitsTable(uint32_t start, uint32_t size)
{
    return static_cast<uint64_t>(start) + size <= kTableSize;
}

DataAreaCheck Failed(DataAreaField field, const char* format)
{
    DataAreaCheck check{};
    check.failedField = field;
    std::snprintf(check.message, sizeof check.message, format, static_cast<int>(kTableSize));
    return check;
}

}  // namespace

DataAreaCheck CheckDataAreaSettings(const DataAreaSettings& settings)
{
    if (settings.registerSize == 0) {
        return Failed(DataAreaField::RegisterSize, kSizeZeroMessage);
    }
    if (!RangeFitsTable(settings.registerStart, settings.registerSize)) {
        return Failed(DataAreaField::RegisterSize, kRangeTooLargeFormat);
    }
    if (settings.coilSize == 0) {
        return Failed(DataAreaField::CoilSize, kSizeZeroMessage);
    }
    if (!RangeFitsTable(settings.coilStart, settings.coilSize)) {
        return Failed(DataAreaField::CoilSize, kRangeTooLargeFormat);
    }
    DataAreaCheck check{};
    check.failedField = DataAreaField::None;
    return check;
}

