#pragma once

#include <string>

#include "server/unit_filter.h"

// The served unit identifiers as the operator writes them, the same on the command line and in the
// control interface's documents: unit identifiers 0 to 255 and inclusive ranges, comma-separated,
// no blanks, such as "1,2,10-20".

// Fills unserved[unit] for every unit identifier (true: left out of the list). False, with *problem
// naming the item and the rule, for an empty list or item, a number above 255, a range whose first
// unit is above its last, or anything else.
bool ParseUnitList(const std::string& text, bool unserved[kUnitIdCount], std::string* problem);

// The served units as the shortest such list, ascending ("1,2,10-20"; "0-255" when all are).
std::string UnitListText(const bool unserved[kUnitIdCount]);

// "none" or "exception", as --unknown-unit and the documents name the answers.
bool ParseUnknownUnitAnswer(const std::string& text, UnknownUnitAnswer* answer);
const char* UnknownUnitAnswerName(UnknownUnitAnswer answer);
