// Placeholder until the engine lands.
#include "SplitFiles.h"

volatile uint8_t CancelFlag = 0;

bool SplitFile(const std::string&, const std::string&, uint32_t, TPlugInProgressProc) { return false; }
bool CombineFiles(const std::string&, const std::string&, TPlugInProgressProc) { return false; }
