// Texts that name the library and its authors; shared by the descriptors, About boxes and the
// version resource.
#pragma once

#define ZANDREL_LIB_NAME "zandrel.pdl"
#define ZANDREL_COPYRIGHT "Copyright (c) 2026 Zandrel developers"
#define ZANDREL_COMPANY "Zandrel developers"
