// The plug-in's entry: the host looks up get_providers by name after loading
// the library and asks it for the providers the plug-in offers.
#pragma once

#include <memory>
#include <vector>

#include "host/provider.h"

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers();
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
