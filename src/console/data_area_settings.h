#pragma once

#include <cstdint>

#include "console/console_tables.h"

// What the operator typed and checked in the Configure Data Areas dialog for one table. Start and
// size are the boxes read as unsigned 32-bit numbers, not yet known to fit a table; the function
// boxes stand for the table's codes in FunctionCodesOf order, checked meaning answered.
struct TableAreaSettings {
    uint32_t start;
    uint32_t size;
    bool functions[kMostTableFunctions];
};

// The dialog's four columns, by DataTable.
struct DataAreaSettings {
    TableAreaSettings tables[kDataTableCount];
};

// The box the operator has to correct after a failed check.
enum class DataAreaBox { None, Start, Size };

struct DataAreaCheck {
    DataAreaBox failedBox;   // None: every check passed
    DataTable failedTable;
    char message[96];        // the operator's message when a check failed
};

// The number boxes as the operator typed them, by DataTable.
struct DataAreaTexts {
    const char* start[kDataTableCount];
    const char* size[kDataTableCount];
};

// Reads the boxes, table by table and start before size, into the numbers of *settings. Empty
// text counts as 0; text that is not a whole number from 0 to 4,294,967,295 (letters, a sign, more
// than 32 bits) fails, naming the table and the field, so that no number is silently taken for
// another.
DataAreaCheck ReadDataAreaNumbers(const DataAreaTexts& texts, DataAreaSettings* settings);

// Runs the checks table by table, size first and then range, and reports the first that fails.
// Start plus size is added in 64 bits, so nothing wraps.
DataAreaCheck CheckDataAreaSettings(const DataAreaSettings& settings);

// The settings of the tables as they are now, for the dialog to show.
DataAreaSettings ReadDataAreaSettings();

// Applies settings that passed the checks as the served settings: each table's window and the
// enables of its codes.
void ApplyDataAreaSettings(const DataAreaSettings& settings);
