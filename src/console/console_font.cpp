#include "console/console_font.h"

QFont* ConsoleFont = nullptr;

void CreateConsoleFont()
{
    // Any fixed-pitch face will do; Liberation Mono comes with the fonts the console depends on.
    ConsoleFont = new QFont(QStringLiteral("Liberation Mono"));
    ConsoleFont->setStyleHint(QFont::TypeWriter);
    ConsoleFont->setFixedPitch(true);
    ConsoleFont->setPixelSize(11);
    ConsoleFont->setWeight(QFont::Normal);
}

void DestroyConsoleFont()
{
    delete ConsoleFont;
    ConsoleFont = nullptr;
}
