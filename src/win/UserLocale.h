// The user's locale, as the numbers that the user types or sees follow it.
#pragma once

// The user's decimal separator: the first character of the user default locale's setting, or '.'
// when the system gives none.
char LocaleDecimalSeparator();
