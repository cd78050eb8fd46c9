// qlt-pass-count: runs one measured operation a given number of times inside
// qlt_counted(), so that callgrind, collecting only there
// (--collect-atstart=no --toggle-collect=qlt_counted), counts the
// instructions of exactly those runs. Warm-up runs come first, outside it:
// the block names are made and the rule batch sized, as after a first round.
//
//   qlt-pass-count reply|pass|round|init [--ups N] [--ac N]
//                  [--host none|reference] [--repeat R]
//
// Prints the heap allocations per operation, which the counting operator
// new sees, alongside.

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

#include "bench/support/device_json.h"
#include "bench/support/options.h"
#include "bench/support/reference_backend.h"
#include "plugin/qlt_model_provider.h"
#include "testkit/counting_new.h"
#include "testkit/model_rig.h"

extern "C" __attribute__((noinline)) void qlt_counted(const std::function<void()>* op, int repeat) {
  for (int i = 0; i < repeat; ++i) (*op)();
}

namespace {

std::function<void()> operation(const std::string& what, ModelRig& rig, const Json::Value& entry) {
  QLTModel& m = rig.model();
  if (what == "pass") return [&rig] { rig.pass(); };
  if (what == "round") return [&m] { m.RoundDone(); };
  if (what == "reply") {
    m.RefreshStatus();
    return [&rig, &m, last = rig.batches() - 1] {
      if (m.cur_batch == last) rig.rewind();
      rig.feed(m.cur_batch);
    };
  }
  if (what != "init") throw std::invalid_argument("cannot count " + what);
  return [entry] {
    static const QLTModelProvider provider;
    std::shared_ptr<KPLSocketDevice> device(provider.create());
    device->Init({}, 7, entry);
  };
}

int count(const std::string& what, const qltbench::Options& opt) {
  const qltbench::Blocks blocks{opt.number("--ups", 1), opt.number("--ac", 1)};
  const int repeat = opt.number("--repeat", 100);
  const std::string host_name = opt.text("--host", "none");
  const bool reference = host_name == "reference";
  if (host_name != "none" && !reference) throw std::invalid_argument("no such host: " + host_name);
  if (repeat < 1) throw std::invalid_argument("--repeat must be 1 or more");

  const Json::Value entry = qltbench::device_json(7, blocks, 1502);
  qltbench::ReferenceBackend host(entry);
  HostServices services = reference ? host.services() : *HostServices::none();
  ModelRig rig(entry, &services);
  if (reference) host.adopt(rig.shared());

  for (int i = 0; i < 3; ++i) rig.pass();
  const std::function<void()> op = operation(what, rig, entry);
  for (int i = 0; i < 3; ++i) op();

  const AllocationCount counted;
  qlt_counted(&op, repeat);
  const long allocations = counted.made();
  std::printf("%s ups=%d ac=%d host=%s repeat=%d allocs/op=%.2f batches=%d\n", what.c_str(),
              blocks.ups, blocks.ac, host_name.c_str(), repeat,
              static_cast<double>(allocations) / repeat, rig.batches());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  return qltbench::run_program(
      argc, argv, 2, {"--ups", "--ac", "--host", "--repeat"}, "qlt-pass-count",
      "qlt-pass-count reply|pass|round|init [--ups N] [--ac N] [--host none|reference] "
      "[--repeat R]",
      [&](const qltbench::Options& opt) { return count(what, opt); });
}
