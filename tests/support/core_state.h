#pragma once

// The server's data as a fresh launch has it, for tests that run several servers in one process:
// every coil and register 0, both address windows whole, every served function code enabled, no generators.
void ResetServedData();
