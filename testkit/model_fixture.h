// A configured model under a shared pointer, with the recording host, a clock
// the test steps by hand, and helpers that answer the model's requests.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/qlt_model.h"
#include "testkit/frames.h"
#include "testkit/recording_host.h"

struct ManualClock {
  static QLTModel::Clock::time_point now;
  static QLTModel::Clock::time_point read() { return now; }
  static void advance_ms(int ms) { now += std::chrono::milliseconds(ms); }
  // Wall-clock seconds for the update_date stamp, read in UTC. The default,
  // 2039-06-15 12:34:56, lies beyond what a 32-bit time_t holds.
  static std::time_t wall;
  static std::time_t read_wall() { return wall; }
};

class ModelTest : public ::testing::Test {
 protected:
  // Makes and configures the model from an "appSetting" given as JSON text
  // ("" for none).
  void make(const std::string& app_setting, unsigned int device_number = 7);

  // The request that went out last, as start:quantity with its transaction id.
  const Bytes& last_sent() const;
  std::uint16_t field(const Bytes& request, size_t offset) const {
    return static_cast<std::uint16_t>(request.at(offset) << 8 | request.at(offset + 1));
  }

  // Answers the last request sent with items whose bytes are a function of
  // their item number, so every item's place in the image can be checked.
  int answer_last() { return feed(reply_to_last()); }
  // That reply's frame.
  Bytes reply_to_last() const;
  // The bytes of item k as the image must hold them after a pass.
  static Bytes image_item(int k);
  // Feeds a frame through the receive path.
  int feed(const Bytes& frame) {
    return model->process(model->socket_id, const_cast<unsigned char*>(frame.data()),
                          static_cast<int>(frame.size()));
  }
  // Runs a whole pass; returns the number of replies it took.
  int run_pass();

  size_t count(HostCall::Kind kind) const { return host.calls_of(kind).size(); }
  Bytes image() const { return Bytes(model->image.get(), model->image.get() + model->image_size); }

  RecordingHost host;
  std::shared_ptr<QLTModel> model;
};

// Wire bytes of item k: four bytes that identify it.
Bytes item_wire_bytes(int k);
