// The point evaluation as the host sees it: every call, in order, with its
// arguments, for several compositions of the unit.

#include <cmath>
#include <cstring>

#include "points/ac_alarm_points.h"
#include "points/environment_points.h"
#include "points/image_layout.h"
#include "points/ups_alarm_points.h"
#include "testkit/model_fixture.h"

namespace {

struct Composition {
  int ups, p1, p2, p3, ac;
  std::string setting() const {
    return "{\"ups\":" + std::to_string(ups) + ",\"pdu_type_1\":" + std::to_string(p1) +
           ",\"pdu_type_2\":" + std::to_string(p2) + ",\"pdu_type_3\":" + std::to_string(p3) +
           ",\"ac\":" + std::to_string(ac) + "}";
  }
  long ac_offset(int j) const {
    return ImageLayout::item_offset(ImageLayout({ups, p1, p2, p3, ac}).ac_first_item(j));
  }
};

class Evaluation : public ModelTest {
 protected:
  void make(const Composition& c) {
    ModelTest::make(c.setting());
    comp = c;
  }
  void set_at(long offset, float v) { std::memcpy(model->image.get() + offset, &v, sizeof v); }
  // Evaluates and returns the threshold calls it made.
  std::vector<HostCall> evaluate() {
    host.calls.clear();
    model->RunCheckThreshold();
    return host.calls;
  }

  // Checks a whole evaluation against the order of the point tables: the environment
  // points, then per UPS block its battery point and 114 alarms, then per
  // air conditioner its 40 alarms; numbers running on from 1.
  void expect_sequence(const std::vector<HostCall>& calls) {
    ASSERT_EQ(calls.size(), size_t(13 + 115 * comp.ups + 40 * comp.ac));
    const unsigned char* img = model->image.get();
    size_t at = 0;
    int number = 1;
    for (const AnaloguePoint& p : environment_points) {
      const HostCall& c = calls[at++];
      EXPECT_EQ(c.kind, HostCall::check_threshold);
      EXPECT_EQ(c.name, p.name);
      EXPECT_EQ(c.desc, p.desc);
      EXPECT_EQ(reinterpret_cast<const unsigned char*>(c.value_addr), img + 4 + 4 * p.item);
      EXPECT_EQ(c.number, number++);
    }
    auto expect_alarms = [&](const AlarmPoint* rows, int n, long block, const std::string& label) {
      for (int r = 0; r < n; ++r) {
        const HostCall& c = calls[at++];
        float v;
        std::memcpy(&v, img + block + 4 * rows[r].item, sizeof v);
        EXPECT_EQ(c.kind, HostCall::check_threshold_bool);
        EXPECT_EQ(c.one, 1);
        EXPECT_EQ(c.name, rows[r].id);
        EXPECT_EQ(c.code, rows[r].code);
        EXPECT_EQ(c.desc, rows[r].desc);
        EXPECT_EQ(c.label, label);
        EXPECT_EQ(c.flag, static_cast<int>(std::trunc(v)) == rows[r].alarm_value) << rows[r].id;
        EXPECT_EQ(c.number, number++ & 0xffff);
      }
    };
    for (int i = 0; i < comp.ups; ++i) {
      const HostCall& b = calls[at++];
      EXPECT_EQ(b.kind, HostCall::check_threshold);
      EXPECT_EQ(b.name, "battery_" + std::to_string(i) + "_value");
      EXPECT_EQ(b.desc, "第" + std::to_string(i) + "电池总电压");
      EXPECT_EQ(reinterpret_cast<const unsigned char*>(b.value_addr), img + 388 + 1564 * i);
      EXPECT_EQ(b.number, number++);
      expect_alarms(ups_alarm_points, 114, 84 + 1564L * i,
                    "Number_" + std::to_string(i + 1) + "_UPS_Alarm_");
    }
    for (int j = 0; j < comp.ac; ++j)
      expect_alarms(ac_alarm_points, 40, comp.ac_offset(j), "空调" + std::to_string(j + 1));
  }

  Composition comp{};
};

TEST_F(Evaluation, NoBlocksOnlyTheEnvironmentWhateverThePdus) {
  make({0, 2, 1, 3, 0});
  expect_sequence(evaluate());
  make({0, 0, 0, 0, 0});
  set_at(4, 3.14f);
  const auto calls = evaluate();
  expect_sequence(calls);
  EXPECT_FLOAT_EQ(calls[0].value, 3.14f);
}

TEST_F(Evaluation, OneUpsFollowsTheEnvironmentWithNumbers14To128) {
  make({1, 0, 0, 0, 0});
  testing::internal::CaptureStdout();
  const auto calls = evaluate();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  expect_sequence(calls);
  EXPECT_EQ(calls.back().number, 128);
  for (size_t i = 14; i < calls.size(); ++i) EXPECT_FALSE(calls[i].flag);
}

TEST_F(Evaluation, OneAirConditionerNumbers14To53AndCommunicationLost) {
  make({0, 0, 0, 0, 1});
  const auto calls = evaluate();
  expect_sequence(calls);
  EXPECT_EQ(calls[13].label, "空调1");
  EXPECT_EQ(calls.back().number, 53);
  // All items 0: the communication state reads as lost.
  EXPECT_TRUE(calls.back().flag);
  EXPECT_EQ(calls.back().name, "QLT_153");
}

TEST_F(Evaluation, TwoUpsAndTwoAirConditionersWithPdusBetween) {
  make({2, 2, 1, 1, 2});
  // Raise QLT_0 in the second UPS block and QLT_114 in the second AC block.
  set_at(84 + 1564 + 4 * 91, 1.0f);
  set_at(comp.ac_offset(1) + 4 * 77, 1.0f);
  const auto calls = evaluate();
  expect_sequence(calls);
  EXPECT_EQ(calls[128].name, "battery_1_value");
  EXPECT_EQ(calls[128].number, 129);
  EXPECT_EQ(calls[129].name, "QLT_0");
  EXPECT_EQ(calls[129].code, "02401");
  EXPECT_EQ(calls[129].label, "Number_2_UPS_Alarm_");
  EXPECT_EQ(calls[129].number, 130);
  EXPECT_TRUE(calls[129].flag);
  EXPECT_FALSE(calls[14].flag);
  EXPECT_EQ(calls[243 + 40].label, "空调2");
  EXPECT_EQ(calls[243 + 40].number, calls[243].number + 40);
  EXPECT_TRUE(calls[243 + 40].flag);
}

TEST_F(Evaluation, AirConditionerBehindPdusAtItsOffset) {
  make({1, 2, 0, 0, 1});
  EXPECT_EQ(comp.ac_offset(0), 2880);
  set_at(2880 + 4 * 145, 1.0f);
  const auto calls = evaluate();
  expect_sequence(calls);
  EXPECT_EQ(calls[128].number, 129);
  EXPECT_EQ(calls.back().number, 168);
  EXPECT_FALSE(calls.back().flag);
}

TEST_F(Evaluation, AlarmFlagsAtTheirEdges) {
  make({1, 0, 0, 0, 1});
  struct Case {
    long offset;
    float v;
    size_t call;
    bool flag;
  } cases[] = {
      {84 + 4 * 92, 1.0f, 15, false},      {84 + 4 * 92, 2.0f, 15, true},
      {84 + 4 * 92, 2.9f, 15, true},       {84 + 4 * 91, 1.0f, 14, true},
      {84 + 4 * 91, 2.0f, 14, false},      {84 + 4 * 91, 1.9f, 14, true},
      {84 + 4 * 91, 0.9f, 14, false},      {1648 + 4 * 145, 0.0f, 167, true},
      {1648 + 4 * 145, 0.9f, 167, true},   {1648 + 4 * 145, std::nanf(""), 167, true},
      {1648 + 4 * 145, 1.0f, 167, false},  {1648 + 4 * 145, -0.7f, 167, true},
      {1648 + 4 * 145, 3e10f, 167, false}, {1648 + 4 * 77, 1.0f, 128, true},
  };
  for (const Case& c : cases) {
    set_at(c.offset, c.v);
    const auto calls = evaluate();
    EXPECT_EQ(calls.at(c.call).flag, c.flag) << "offset " << c.offset << " value " << c.v;
  }
}

TEST_F(Evaluation, CodeRepeatsOnConsecutiveNumbers) {
  make({0, 0, 0, 0, 1});
  const auto calls = evaluate();
  EXPECT_EQ(calls[13 + 27].name, "QLT_141");
  EXPECT_EQ(calls[13 + 28].name, "QLT_142");
  EXPECT_EQ(calls[13 + 27].code, "02542");
  EXPECT_EQ(calls[13 + 28].code, "02542");
  EXPECT_EQ(calls[13 + 28].number, calls[13 + 27].number + 1);
}

TEST_F(Evaluation, BlocksBeyondTheImageAreSkippedWithTheirLines) {
  make({2, 0, 0, 0, 2});
  // As if the image had shrunk under the counts: it now ends inside the
  // second UPS block; both air conditioners lie beyond it.
  model->image_size = 84 + 1564 + 1000 + 7;
  testing::internal::CaptureStdout();
  const auto calls = evaluate();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "111 +++++++ outof buffer\n222 +++++++ outof buffer\n222 +++++++ outof buffer\n");
  ASSERT_EQ(calls.size(), 13u + 115);
  EXPECT_EQ(calls.back().number, 128);
}

TEST_F(Evaluation, SkippedBlockConsumesNoNumbers) {
  make({2, 0, 0, 0, 1});
  // The first air conditioner starts right after the second UPS block; make
  // the image end exactly there, so the last block fails and nothing else.
  model->image_size = 84 + 2 * 1564 + 7;
  testing::internal::CaptureStdout();
  const auto calls = evaluate();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "222 +++++++ outof buffer\n");
  EXPECT_EQ(calls.size(), 13u + 230);
}

TEST_F(Evaluation, CompleteRoundOfOneUpsAndOneAirConditioner) {
  ModelTest::make(R"({"ups": 1, "ac": 1})");
  comp = {1, 0, 0, 0, 1};
  run_pass();
  std::vector<HostCall> points;
  for (const HostCall& c : host.calls)
    if (c.kind == HostCall::check_threshold || c.kind == HostCall::check_threshold_bool)
      points.push_back(c);
  EXPECT_EQ(points.size(), 168u);
  expect_sequence(points);
  const auto batches = host.calls_of(HostCall::batch_check);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].records.size(), 168u);
}

TEST_F(Evaluation, SameImageSameCallsEveryTime) {
  make({1, 0, 0, 0, 1});
  set_at(84 + 4 * 91, 1.0f);
  const auto first = evaluate();
  const auto second = evaluate();
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].name, second[i].name);
    EXPECT_EQ(first[i].flag, second[i].flag);
    EXPECT_EQ(first[i].number, second[i].number);
  }
}

}  // namespace
