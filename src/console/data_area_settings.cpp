#include "console/data_area_settings.h"

#include <cstdio>

#include "console/dialog_number.h"
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

DataAreaCheck Passed()
{
    DataAreaCheck check{};
    check.failedField = DataAreaField::None;
    return check;
}

}  // namespace

DataAreaCheck ReadDataAreaNumbers(const DataAreaTexts& texts, DataAreaSettings* settings)
{
    const struct {
        const char* text;
        uint32_t* number;
        DataAreaField field;
        const char* table;
        const char* name;
    } boxes[] = {
        {texts.registerStart, &settings->registerStart, DataAreaField::RegisterStart, "Registers", "starting address"},
        {texts.registerSize, &settings->registerSize, DataAreaField::RegisterSize, "Registers", "size"},
        {texts.coilStart, &settings->coilStart, DataAreaField::CoilStart, "Coils", "starting address"},
        {texts.coilSize, &settings->coilSize, DataAreaField::CoilSize, "Coils", "size"},
    };
    for (const auto& box : boxes) {
        *box.number = 0;
        if (ReadDialogNumber(box.text, box.number) == DialogNumber::kUnreadable) {
            DataAreaCheck check{};
            check.failedField = box.field;
            std::snprintf(check.message, sizeof check.message, "%s: the %s must be a whole number from 0 to %u.",
                          box.table, box.name, static_cast<unsigned>(UINT32_MAX));
            return check;
        }
    }
    return Passed();
}

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
    return Passed();
}

