// The plug-in as the host meets it: the providers, and the built library
// loaded with the real dynamic loader, driven through a whole pass.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/provider.h"
#include "model/qlt_model.h"
#include "plugin/get_providers.h"
#include "plugin/qlt_model_provider.h"
#include "testkit/frames.h"
#include "testkit/recording_host.h"

namespace {

TEST(Providers, EachCallMakesOneNewProvider) {
  auto a = get_providers();
  auto b = get_providers();
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  ASSERT_NE(a[0], nullptr);
  EXPECT_NE(a[0].get(), b[0].get());
  EXPECT_NE(dynamic_cast<QLTModelProvider*>(a[0].get()), nullptr);
  EXPECT_NE(dynamic_cast<KPLSocketDeviceProvider*>(a[0].get()), nullptr);
}

TEST(Providers, CreateMakesDistinctUnconfiguredModels) {
  QLTModelProvider p;
  std::unique_ptr<KPLSocketDevice> a(p.create()), b(p.create());
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->DeviceType(), "qltmodel");
  EXPECT_EQ(b->DeviceType(), "qltmodel");
  EXPECT_NE(dynamic_cast<QLTModel*>(a.get()), nullptr);
}

class LoadedPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = dlopen(QLTMODEL_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle) dlclose(handle);
  }
  void* handle = nullptr;
};

TEST_F(LoadedPlugin, RunsAPassThroughTheHostContract) {
  RecordingHost host;
  auto entry = reinterpret_cast<get_providers_fn>(dlsym(handle, "get_providers"));
  ASSERT_NE(entry, nullptr) << dlerror();
  {
    auto providers = entry();
    ASSERT_EQ(providers.size(), 1u);
    auto* factory = dynamic_cast<KPLSocketDeviceProvider*>(providers[0].get());
    ASSERT_NE(factory, nullptr);
    std::shared_ptr<KPLSocketDevice> dev(factory->create());
    dev->services = &host.services;
    EXPECT_EQ(dev->DeviceType(), "qltmodel");

    Json::Value config;
    config["ip"] = "127.0.0.1";
    config["port"] = 1502;
    config["addr"] = 1;
    config["appSetting"]["ups"] = 1;
    EXPECT_EQ(dev->Init({}, 7, config), 1);
    dev->link_ready = 1;
    EXPECT_EQ(dev->RefreshStatus(), 1);
    for (int batch = 0; batch < 9; ++batch) {
      Bytes reply = reply_to(host.sent().back().data(), Bytes(4, 0));
      EXPECT_EQ(dev->process(dev->socket_id, reply.data(), int(reply.size())), batch < 8 ? 1 : 0);
    }
    const auto published = host.calls_of(HostCall::send_sp);
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].len, 1655);
    EXPECT_EQ(host.calls_of(HostCall::check_threshold_bool).size(), 114u);
  }
}

TEST_F(LoadedPlugin, ExportsOnlyItsEntry) {
  EXPECT_EQ(dlsym(handle, "_ZN8QLTModelC1Ev"), nullptr);
  EXPECT_NE(dlsym(handle, "get_providers"), nullptr);
}

}  // namespace
