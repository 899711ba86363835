#include "console/data_area_settings.h"

#include <cstdio>

#include "console/dialog_number.h"
#include "tables/address_window.h"

namespace {

constexpr const char* kSizeZeroMessage = "Size must be greater than zero.";
constexpr const char* kRangeTooLargeFormat = "Starting Address plus Size cannot exceed %d.";

DataAreaCheck Failed(DataTable table, DataAreaBox box, const char* format)
{
    DataAreaCheck check{};
    check.failedBox = box;
    check.failedTable = table;
    std::snprintf(check.message, sizeof check.message, format, static_cast<int>(kTableSize));
    return check;
}

DataAreaCheck Passed()
{
    DataAreaCheck check{};
    check.failedBox = DataAreaBox::None;
    return check;
}

}  // namespace

DataAreaCheck ReadDataAreaNumbers(const DataAreaTexts& texts, DataAreaSettings* settings)
{
    for (DataTable table : kDataTables) {
        const int index = static_cast<int>(table);
        TableAreaSettings& area = settings->tables[index];
        const struct {
            const char* text;
            uint32_t* number;
            DataAreaBox box;
            const char* name;
        } boxes[] = {
            {texts.start[index], &area.start, DataAreaBox::Start, "starting address"},
            {texts.size[index], &area.size, DataAreaBox::Size, "size"},
        };
        for (const auto& box : boxes) {
            *box.number = 0;
            if (ReadDialogNumber(box.text, box.number) == DialogNumber::kUnreadable) {
                DataAreaCheck check{};
                check.failedBox = box.box;
                check.failedTable = table;
                std::snprintf(check.message, sizeof check.message, "%s: the %s must be a whole number from 0 to %u.",
                              NamesOf(table).title, box.name, static_cast<unsigned>(UINT32_MAX));
                return check;
            }
        }
    }
    return Passed();
}

DataAreaCheck CheckDataAreaSettings(const DataAreaSettings& settings)
{
    for (DataTable table : kDataTables) {
        const TableAreaSettings& area = settings.tables[static_cast<int>(table)];
        switch (CheckWindowRange(area.start, area.size)) {
        case WindowRange::kSizeZero:
            return Failed(table, DataAreaBox::Size, kSizeZeroMessage);
        case WindowRange::kPastTableEnd:
            return Failed(table, DataAreaBox::Size, kRangeTooLargeFormat);
        case WindowRange::kFits:
            break;
        }
    }
    return Passed();
}
