#pragma once

// The four data tables together, as a program starts and ends them: coils, discrete inputs, input
// registers and holding registers, every cell 0 and every window whole.
void InitDataTables();
void DestroyDataTables();
