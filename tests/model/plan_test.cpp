// Configuration: composition from "appSetting", image size and layout, and
// the request plan in wire order.

#include "testkit/model_fixture.h"

namespace {

using Plan = ModelTest;

Bytes planned(const QLTModel& m, size_t i) {
  const auto* p = reinterpret_cast<const unsigned char*>(&m.requests.at(i));
  return Bytes(p, p + sizeof(rdu_read));
}

TEST_F(Plan, WithoutAppSettingOneRequestOfTwentyItems) {
  make("");
  EXPECT_EQ(model->image_size, 91);
  EXPECT_EQ(model->item_bytes, 80u);
  EXPECT_EQ(model->batch_count, 1);
  ASSERT_EQ(model->requests.size(), 1u);
  EXPECT_EQ(planned(*model, 0), hex("00 00 00 00 00 06 01 03 00 00 00 14"));
  EXPECT_EQ(model->DeviceType(), "qltmodel");
}

TEST_F(Plan, WorkedExamples) {
  struct Case {
    const char* setting;
    int image_size;
    int batches;
    int last_quantity;
  } cases[] = {
      {R"({"ups": 1})", 1655, 9, 11},
      {R"({"ups": 1, "ac": 1})", 2239, 12, 7},
      {R"({"ac": 5})", 3011, 15, 50},
      {R"({"pdu_type_1": 1, "pdu_type_2": 1, "pdu_type_3": 1})", 91 + 616 + 724 + 324, 9, 36},
  };
  for (const Case& c : cases) {
    make(c.setting);
    EXPECT_EQ(model->image_size, c.image_size) << c.setting;
    EXPECT_EQ(model->item_bytes, unsigned(c.image_size - 11)) << c.setting;
    ASSERT_EQ(model->batch_count, c.batches) << c.setting;
    for (int i = 0; i < c.batches; ++i) {
      const Bytes r = planned(*model, size_t(i));
      EXPECT_EQ(to_hex(r).substr(0, 23), "00 00 00 00 00 06 01 03") << c.setting;
      EXPECT_EQ(field(r, 8), 50 * i) << c.setting;
      EXPECT_EQ(field(r, 10), i == c.batches - 1 ? c.last_quantity : 50) << c.setting;
    }
  }
}

TEST_F(Plan, NinthRequestOfOneUpsExactly) {
  make(R"({"ups": 1})");
  EXPECT_EQ(planned(*model, 8), hex("00 00 00 00 00 06 01 03 01 90 00 0b"));
  EXPECT_EQ(ntohs(model->requests[3].quantity), 50);
}

// Any scalar gives a count: the leading whole number of its text, as a
// stored configuration has it. A text that is not a plain whole number is
// named with the count taken from it.
TEST_F(Plan, CountIsTheLeadingWholeNumberOfItsText) {
  struct Case {
    const char* setting;
    int ups;
    const char* line;  // after "QLTModel::Init count is not a whole number: data_id:107 "
  } cases[] = {
      {R"({"ups": "1"})", 1, nullptr},
      {R"({"ups": " 3 "})", 3, nullptr},
      {R"({"ups": 2.0})", 2, nullptr},
      {R"({"ups": null})", 0, nullptr},
      {R"({"ups": ""})", 0, nullptr},
      {R"({"ac": 1})", 0, nullptr},
      {R"({"ups": "2x"})", 2, "ups:\"2x\""},
      {R"({"ups": 1.9})", 1, "ups:1.9"},
      {R"({"ups": "x"})", 0, "ups:\"x\""},
      {R"({"ups": false})", 0, "ups:false"},
      {R"({"ups": true})", 0, "ups:true"},
      {R"({"ups": "+"})", 0, "ups:\"+\""},
      {R"({"ups": 1e20})", 1, "ups:1e+20"},
      {R"({"ups": "-0.5"})", 0, "ups:\"-0.5\""},
      {R"({"ups": "\t2 units"})", 2, "ups:\"\\t2 units\""},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    make(c.setting);
    const std::string line =
        c.line ? std::string("QLTModel::Init count is not a whole number: data_id:107 ") + c.line +
                     ", taken as " + std::to_string(c.ups) + "\n"
               : "";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line) << c.setting;
    EXPECT_EQ(model->ups_count, c.ups) << c.setting;
    EXPECT_EQ(model->image_size, 91 + 1564 * c.ups + 584 * model->ac_count) << c.setting;
    EXPECT_EQ(model->batch_count, (20 + 391 * c.ups + 146 * model->ac_count + 49) / 50)
        << c.setting;
  }
}

TEST_F(Plan, AppSettingThatIsNotAnObjectIsIgnored) {
  for (const char* setting : {R"([{"ups": 1}])", R"("ups")", "3"}) {
    make(setting);
    EXPECT_EQ(model->ups_count, 0) << setting;
    EXPECT_EQ(model->batch_count, 1) << setting;
  }
}

TEST_F(Plan, DeviceNumberOpensTheImage) {
  make(R"({"ups": 1})", 258);
  const Bytes img = image();
  EXPECT_EQ(to_hex(img.data(), 4), "02 01 00 00");
  for (size_t i = 4; i < img.size(); ++i) ASSERT_EQ(img[i], 0) << i;
}

// A count that cannot be the unit's would shift every later block onto
// another block's items: the device plans nothing, publishes nothing, and
// says which key is wrong.
TEST_F(Plan, UnusableCountsPlanNothing) {
  struct Case {
    const char* setting;
    const char* lines;
  } cases[] = {
      {R"({"ups": -1, "ac": 1})", "count out of range: data_id:107 ups:-1"},
      {R"({"ups": "-1.5", "ac": 1})", "count out of range: data_id:107 ups:\"-1.5\""},
      {R"({"ups": "99999999999999999999", "ac": 1})",
       "count out of range: data_id:107 ups:\"99999999999999999999\""},
      {R"({"ups": [1], "ac": 1})", "count is not a number: data_id:107 ups:[1]"},
      {R"({"ups": {"n": 1}, "ac": "-2"})",
       "count is not a number: data_id:107 ups:{\"n\":1}, the unit is not polled\n"
       "QLTModel::Init count out of range: data_id:107 ac:\"-2\""},
      // 167 UPS blocks take the unit to 65317 items; two type-3 PDU blocks
      // still fit under 65536, three do not.
      {R"({"ups": 167, "pdu_type_3": 3})", "count out of range: data_id:107 pdu_type_3:3"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    make(c.setting);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("QLTModel::Init ") + c.lines + ", the unit is not polled\n")
        << c.setting;
    EXPECT_EQ(model->batch_count, 0) << c.setting;
    EXPECT_TRUE(model->requests.empty()) << c.setting;
    EXPECT_EQ(model->RefreshStatus(), 0) << c.setting;
    EXPECT_TRUE(host.sent().empty()) << c.setting;
    // No cached image fits a device that plans none.
    const Bytes cached(91, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(model->LoadFromCache(cached.data(), 91), 0) << c.setting;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "UniBufferDevice::LoadFromCache refused: data_id:107 len:91 expected:0\n");
    EXPECT_FALSE(model->data_ready) << c.setting;
  }
}

// An integrator's own keys are named and ignored, never a reason to stop
// polling; one that differs from a count only by case or a count suffix
// gets a hint.
TEST_F(Plan, UnknownSettingsAreNamedAndIgnored) {
  testing::internal::CaptureStdout();
  make(R"({"ac": 1, "access": 2, "upstream": "x", "a": 1, "p": 1, "UPS": 1, "ac_count": 3,
           "Pdu_Type_1Count": 1, "ups_num": 2})");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::Init unknown setting: data_id:107 Pdu_Type_1Count (pdu_type_1?), ignored\n"
            "QLTModel::Init unknown setting: data_id:107 UPS (ups?), ignored\n"
            "QLTModel::Init unknown setting: data_id:107 a, ignored\n"
            "QLTModel::Init unknown setting: data_id:107 ac_count (ac?), ignored\n"
            "QLTModel::Init unknown setting: data_id:107 access, ignored\n"
            "QLTModel::Init unknown setting: data_id:107 p, ignored\n"
            "QLTModel::Init unknown setting: data_id:107 ups_num (ups?), ignored\n"
            "QLTModel::Init unknown setting: data_id:107 upstream, ignored\n");
  EXPECT_EQ(model->ac_count, 1);
  EXPECT_EQ(model->ups_count, 0);
  EXPECT_EQ(model->image_size, 91 + 584);
  EXPECT_EQ(model->RefreshStatus(), 1);
}

TEST_F(Plan, LargestUnitStillAddressesEveryItem) {
  testing::internal::CaptureStdout();
  make(R"({"ups": 167, "pdu_type_3": 2})");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const int items = 20 + 391 * 167 + 81 * 2;
  EXPECT_EQ(model->ups_count, 167);
  EXPECT_EQ(model->pdu_type_3_count, 2);
  const Bytes last = planned(*model, size_t(model->batch_count - 1));
  EXPECT_EQ(field(last, 8), 50 * (model->batch_count - 1));
  EXPECT_EQ(field(last, 8) + field(last, 10), items);
}

TEST_F(Plan, ReplyTimeoutFromAppSetting) {
  make(R"({"reply_timeout_ms": "250"})");
  EXPECT_EQ(model->reply_timeout.count(), 250);
  testing::internal::CaptureStdout();
  make(R"({"reply_timeout": 250, "": 1})");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::Init unknown setting: data_id:107 , ignored\n"
            "QLTModel::Init unknown setting: data_id:107 reply_timeout, ignored\n");
  EXPECT_EQ(model->batch_count, 1);
  for (const char* bad : {"-5", "2.5", "\"5s\"", "3600001"}) {
    testing::internal::CaptureStdout();
    make(std::string(R"({"reply_timeout_ms": )") + bad + "}");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("QLTModel::Init reply_timeout_ms out of range: data_id:107 "
                          "reply_timeout_ms:") +
                  bad + " taken as 3000\n");
    EXPECT_EQ(model->reply_timeout.count(), 3000);
    EXPECT_EQ(model->batch_count, 1);
  }
}

}  // namespace
