#include "console/data_area_settings.h"

#include <cstdio>

#include "tables/address_window.h"

namespace {

constexpr const char* kSizeZeroMessage = "Size must be greater than zero.";
constexpr const char* kRangeTooLargeFormat = "Starting Address plus Size cannot exceed %d.";

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
    const struct {
        uint32_t start;
        uint32_t size;
        DataAreaField sizeField;
    } ranges[] = {
        {settings.registerStart, settings.registerSize, DataAreaField::RegisterSize},
        {settings.coilStart, settings.coilSize, DataAreaField::CoilSize},
    };
    for (const auto& range : ranges) {
        switch (CheckWindowRange(range.start, range.size)) {
        case WindowRange::kSizeZero:
            return Failed(range.sizeField, kSizeZeroMessage);
        case WindowRange::kPastTableEnd:
            return Failed(range.sizeField, kRangeTooLargeFormat);
        case WindowRange::kFits:
            break;
        }
    }
    DataAreaCheck check{};
    check.failedField = DataAreaField::None;
    return check;
}

