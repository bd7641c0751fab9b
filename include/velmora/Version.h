// The library's version, as GetVersion reports it.
#pragma once

#define VELMORA_VERSION_MAJOR 1
#define VELMORA_VERSION_MINOR 0
#define VELMORA_VERSION_PATCH 0
#define VELMORA_VERSION "1.0.0"
