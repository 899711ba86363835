#pragma once

// The system's own words for a Win32 or WinSock error number, without the full stop and line end
// that the system's message table puts after them; "" when the table has none.
void SystemMessageText(int number, char* text, int textSize);
