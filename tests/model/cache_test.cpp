// Restoring the image from the host's cache.

#include "testkit/model_fixture.h"

namespace {

using Cache = ModelTest;

TEST_F(Cache, RestoreOfThePlannedSizeKeepsTheBufferAndPublishesNothing) {
  make(R"({"ups": 1})");
  unsigned char* buffer = model->image.get();
  const Bytes cached(1655, 0x42);
  model->data_ready = false;
  EXPECT_EQ(model->LoadFromCache(cached.data(), 1655), 1);
  EXPECT_EQ(model->image.get(), buffer);
  // Whatever number the copy was saved under, the image is this device's.
  Bytes want = cached;
  std::copy_n(hex("07 00 00 00").begin(), 4, want.begin());
  EXPECT_EQ(image(), want);
  EXPECT_TRUE(model->data_ready);
  EXPECT_FALSE(model->update_time.is_special());
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(Cache, StringFormRestoresTheSame) {
  make("");
  const std::string cached(91, '\x05');
  EXPECT_EQ(model->LoadFromCache(cached), 1);
  EXPECT_EQ(to_hex(image()).substr(0, 17), "07 00 00 00 05 05");
  EXPECT_EQ(image().at(90), 5);
  // Every image published from then on carries it too.
  run_pass();
  EXPECT_EQ(to_hex(host.calls_of(HostCall::send_sp).at(0).bytes).substr(0, 11), "07 00 00 00");
}

TEST_F(Cache, RestoreOfAnotherSizeAfterInitIsRefused) {
  make(R"({"ups": 1})");
  const Bytes before = image();
  for (int len : {1651, 1659, 91}) {
    const Bytes cached(size_t(len), 0x42);
    testing::internal::CaptureStdout();
    EXPECT_EQ(model->LoadFromCache(cached.data(), len), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "UniBufferDevice::LoadFromCache refused: data_id:107 len:" + std::to_string(len) +
                  " expected:1655\n");
    EXPECT_EQ(model->image_size, 1655);
    EXPECT_EQ(image(), before);
  }
  // Polling goes on as before.
  EXPECT_EQ(run_pass(), 9);
  EXPECT_EQ(count(HostCall::send_sp), 1u);
}

// A restore of the planned size keeps the buffer, so the pass under way
// writes on into the same image: what it had copied is overwritten by the
// cached bytes, what follows comes from the unit.
TEST_F(Cache, RestoreDuringAPassKeepsThePassWritingIntoTheImage) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  EXPECT_EQ(answer_last(), 1);
  const Bytes cached(1655, 0x42);
  EXPECT_EQ(model->LoadFromCache(cached.data(), 1655), 1);
  while (answer_last() == 1) {
  }
  const auto published = host.calls_of(HostCall::send_sp);
  ASSERT_EQ(published.size(), 1u);
  const Bytes& img = published[0].bytes;
  EXPECT_EQ(Bytes(img.begin() + 4, img.begin() + 8), Bytes(4, 0x42));
  EXPECT_EQ(Bytes(img.begin() + 204, img.begin() + 208), image_item(50));
  EXPECT_EQ(Bytes(img.begin() + 4 + 4 * 410, img.begin() + 8 + 4 * 410), image_item(410));
}

TEST_F(Cache, RestoreBeforeInitTakesAnySize) {
  QLTModel m;
  const Bytes cached(1655, 0x42);
  EXPECT_EQ(m.LoadFromCache(cached.data(), 1655), 1);
  EXPECT_EQ(m.image_size, 1655);
  EXPECT_EQ(m.LoadFromCache(cached.data(), 91), 1);
  EXPECT_EQ(m.image_size, 91);
}

TEST_F(Cache, NegativeLengthOrMissingDataIsRefused) {
  make("");
  const Bytes before = image();
  const unsigned char byte = 1;
  EXPECT_EQ(model->LoadFromCache(&byte, -1), 0);
  EXPECT_EQ(model->LoadFromCache(nullptr, 91), 0);
  EXPECT_EQ(image(), before);
}

}  // namespace
