// Symbols of the platform runtime that hosts and the module link against.
#pragma once

#define PLATFORM_API __attribute__((visibility("default")))
