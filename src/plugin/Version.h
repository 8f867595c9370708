// The library's version and the texts that name it and its authors; shared by the descriptors,
// About boxes and the version resource. The version is kept here and nowhere else: CMake's project
// version and scripts/release read these three lines.
#pragma once

#define ZANDREL_VERSION_MAJOR 1
#define ZANDREL_VERSION_MINOR 0
#define ZANDREL_VERSION_PATCH 0

#define ZANDREL_STRINGIZE_(x) #x
#define ZANDREL_STRINGIZE(x) ZANDREL_STRINGIZE_(x)
// "1.0.0"
#define ZANDREL_VERSION_TEXT                                                                      \
    ZANDREL_STRINGIZE(ZANDREL_VERSION_MAJOR) "." ZANDREL_STRINGIZE(ZANDREL_VERSION_MINOR) "." \
        ZANDREL_STRINGIZE(ZANDREL_VERSION_PATCH)

#define ZANDREL_LIB_NAME "zandrel.pdl"
#define ZANDREL_COPYRIGHT "Copyright (c) 2026 Zandrel developers"
#define ZANDREL_COMPANY "Zandrel developers"
