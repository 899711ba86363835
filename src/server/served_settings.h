#pragma once

#include <cstdint>

#include "server/unit_filter.h"
#include "tables/address_window.h"

// What the server serves, as one record: the address window of each table and which of the served
// function codes are switched off. The Configure Data Areas dialog, the command line's --registers,
// --coils and --disable, and the control interface's documents all read and change these settings
// through here, so that each of them changes the same things in the same order.
struct ServedSettings {
    AddressWindow registerWindow;
    AddressWindow coilWindow;
    AddressWindow inputRegisterWindow;
    AddressWindow discreteInputWindow;
    bool disabled[256];   // by function code; only the served codes are read or applied
    // The Modbus application protocol's write limits and code 23 order instead of the server's own
    // (--standard-limits); false at launch.
    bool standardLimits;

    // The unit identifiers answered (--unit-ids) and what the others get (--unknown-unit); all
    // false and kNone: every unit is served.
    bool unitUnserved[kUnitIdCount];   // by unit identifier
    UnknownUnitAnswer unknownUnit;
};

// A fresh launch's settings: every window whole, every served code enabled.
ServedSettings DefaultServedSettings();

// The settings as they are now, each window read under its table's lock.
ServedSettings ReadServedSettings();

// Applies the settings in the dialog's order, each table's window then its functions: holding
// registers, coils, input registers, discrete inputs; then the device codes (8 and 43), the limits,
// the units and what the others get. Each is a change of its own (a window under its table's lock,
// a flag as one word), so a request served meanwhile may meet some of the new settings and the rest
// still old.
void ApplyServedSettings(const ServedSettings& settings);
