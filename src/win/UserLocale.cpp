#include "UserLocale.h"

#include <windows.h>

char LocaleDecimalSeparator()
{
    char text[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text) > 1 && text[0] != '\0')
        return text[0];
    return '.';
}
