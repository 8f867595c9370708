#include "Operations.h"

#include "SysError.h"

volatile uint8_t CancelFlag = 0;

std::string FailureText(const TOutcome& outcome)
{
    return FailureText(outcome, outcome.SystemError != 0 ? SysErrorMessage(outcome.SystemError) : std::string());
}
