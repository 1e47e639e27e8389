#pragma once

// Symbols of the host library that hosts and plug-ins link against.
#define LUMIVOR_API __attribute__((visibility("default")))
