// The plug-in's exported entry point: the one symbol under a plain C name.
// It returns a C++ vector by value; host and plug-in share the C++ runtime.
#pragma once

#include <memory>
#include <vector>

#include "host/provider.hpp"

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers();
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
