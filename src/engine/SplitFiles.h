// SplitFiles, the engine's face: the split (SplitOperation.h), the combine (CombineOperation.h)
// and what both share, the cancel flag among it (Operations.h).
#pragma once
#include "CombineOperation.h"
#include "Operations.h"
#include "SplitOperation.h"
