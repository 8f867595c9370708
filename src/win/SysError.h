// The system's own words for its error codes.
#pragma once
#include <string>

// The system's description of an error code (FormatMessage), without a trailing line break.
std::string SysErrorMessage(unsigned long code);
