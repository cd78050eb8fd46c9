// The last resort at the root of the host's threads: a failure is said with
// the thread's name, and the host stops, reporting that it failed.

#include <gtest/gtest.h>

#include <boost/asio/post.hpp>
#include <cstdio>
#include <stdexcept>

#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/host.h"
#include "apps/kpl-host/polling/work_queue.h"
#include "testkit/temp_path.h"
#include "tests/kpl-host/recording_events.h"

namespace {

using kplhost::ThreadGuard;

// The lines a guard says, as its owner hears them.
struct Said {
  explicit Said(ThreadGuard& threads) {
    threads.wire([this](const std::string& line) {
      std::lock_guard<std::mutex> g(lock);
      lines.push_back(line);
    });
  }
  std::vector<std::string> taken() {
    std::lock_guard<std::mutex> g(lock);
    return lines;
  }
  std::mutex lock;
  std::vector<std::string> lines;
};

TEST(ThreadGuard, WhatEscapesAThreadIsSaidWithItsName) {
  ThreadGuard threads;
  // A failure before the owner has wired the guard is said once it has.
  threads.start("history writer", [] { throw std::runtime_error("disk on fire"); }).join();
  EXPECT_TRUE(threads.any_failed());
  Said said(threads);
  threads.start("MQTT sender", [] { throw 42; }).join();
  threads.run("main", [] {});
  EXPECT_EQ(said.taken(), (std::vector<std::string>{
                              "the history writer thread failed: disk on fire; stopping",
                              "the MQTT sender thread failed: an exception of unknown type; "
                              "stopping"}));
  ThreadGuard calm;
  calm.run("main", [] {});
  EXPECT_FALSE(calm.any_failed());
}

// A task of the host's own runs on the worker outside the device barrier.
TEST(ThreadGuard, TheWorkerSaysItFailed) {
  ThreadGuard threads;
  Said said(threads);
  kplhost::DeviceRegistry registry;
  RecordingEvents events;
  kplhost::DeviceCalls calls(events);
  kplhost::WorkQueue worker(registry, calls, threads);
  worker.post([] { throw std::length_error("vector"); });
  worker.drain_and_stop();
  EXPECT_EQ(said.taken(), (std::vector<std::string>{"the worker thread failed: vector; stopping"}));
}

TEST(ThreadGuard, AFailedIoThreadStopsTheHost) {
  const std::string history = unique_temp_path(".db");
  kplhost::HostOptions options;
  options.config_document["devices"] = Json::arrayValue;
  options.history = history;
  options.quiet = true;
  ::testing::internal::CaptureStdout();
  {
    kplhost::Host host(options);
    host.start();
    boost::asio::post(host.io(), [] { throw std::runtime_error("handler broke"); });
    // Returns only once the host is asked to stop.
    EXPECT_FALSE(host.wait_for_rounds(0));
    host.stop();
    EXPECT_TRUE(host.failed());
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("kpl-host: the I/O thread failed: handler broke; stopping\n"),
            std::string::npos)
      << out;
  // The status lines still come at the end.
  EXPECT_NE(out.find("kpl-host: history: ok"), std::string::npos) << out;
  for (const char* suffix : {"", "-wal", "-shm", ".lock"}) std::remove((history + suffix).c_str());
}

}  // namespace
