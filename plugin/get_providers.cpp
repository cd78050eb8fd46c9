#include "plugin/get_providers.h"

#include "plugin/qlt_model_provider.h"

std::vector<std::shared_ptr<Provider>> get_providers() {
  std::vector<std::shared_ptr<Provider>> providers;
  std::shared_ptr<Provider> p = std::make_shared<QLTModelProvider>();
  providers.push_back(std::move(p));
  return providers;
}
