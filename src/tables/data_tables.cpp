#include "tables/data_tables.h"

#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

void InitDataTables()
{
    InitRegisterTable();
    InitInputRegisterTable();
    InitCoilTable();
    InitDiscreteInputTable();
}

void DestroyDataTables()
{
    DestroyDiscreteInputTable();
    DestroyCoilTable();
    DestroyInputRegisterTable();
    DestroyRegisterTable();
}
