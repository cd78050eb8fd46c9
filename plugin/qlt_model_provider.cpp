#include "plugin/qlt_model_provider.h"

#include "model/qlt_model.h"

KPLSocketDevice* QLTModelProvider::create() const { return new QLTModel(); }
