#pragma once

#include <cstdint>

// Which Modbus function codes the server answers. Entries are single words written by the
// console and read by client threads without a lock; codes 128 to 255 are never enabled.
bool IsFunctionEnabled(uint8_t code);
void SetFunctionEnabled(uint8_t code, bool enabled);
