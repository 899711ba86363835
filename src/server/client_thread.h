#pragma once

#include "server/slot_table.h"

// Starts the thread that serves the slot's connection; if it cannot be started, logs that and
// releases the slot, which closes the connection.
void StartClientThread(ConnectionSlot* slot);

// Serves one connection, one request at a time, until it ends; then releases the slot.
void* ClientThread(void* slot);
