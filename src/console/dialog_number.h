#pragma once

#include <cstdint>

// How the dialogs read a number the operator typed: decimal digits with blanks (spaces, tabs)
// around them allowed, no sign, no other character, at most 4,294,967,295.
enum class DialogNumber { kEmpty, kNumber, kUnreadable };

// kEmpty for empty text or blanks only; kNumber with *value set; kUnreadable for anything else.
DialogNumber ReadDialogNumber(const char* text, uint32_t* value);

// The Go to box's reading: empty or unreadable text counts as 0.
uint32_t ReadUnsignedNumber(const char* text);
