#pragma once

#include <QFont>

// ConsoleFont: the fixed-pitch font of the hex dumps, a character height of 11 pixels. Created at
// start-up, deleted at tear-down; nullptr outside that span.
extern QFont* ConsoleFont;

void CreateConsoleFont();
void DestroyConsoleFont();
