// The trends of the analogue points: gathered per round into minutes and
// hours, written in parts that merge, kept in round-robin slots that a later
// lap replaces, read back in the steps of a range, answered off the I/O
// thread and served as JSON and CSV; and a simulated year of a unit's disk
// within its bounds.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "apps/kpl-host/storage/trend_recorder.h"
#include "apps/kpl-host/storage/trend_store.h"
#include "apps/kpl-host/storage/trend_writer.h"
#include "apps/kpl-host/view/status_routes.h"
#include "testkit/disk_year.h"
#include "testkit/temp_path.h"

namespace {

using namespace kplhost;

constexpr std::int64_t t0 = 1800000000;  // a whole hour, 2027-01-15 08:00 UTC

rule_value analogue(const char* name, float v) {
  return {rule_analogue, name, std::string("desc of ") + name, 1, value_bits_of(v), {}, {},
          rule_normal};
}

Aggregate agg(double min, double mean, double max, std::uint32_t n) { return {min, mean, max, n}; }

void expect_row(const TrendRow& r, const char* point, bool hourly, std::int64_t t,
                const Aggregate& a) {
  EXPECT_EQ(r.point, point);
  EXPECT_EQ(r.hourly, hourly) << point << " " << t;
  EXPECT_EQ(r.t, t) << point;
  EXPECT_DOUBLE_EQ(r.value.min, a.min) << point << " " << t;
  EXPECT_DOUBLE_EQ(r.value.mean, a.mean) << point << " " << t;
  EXPECT_DOUBLE_EQ(r.value.max, a.max) << point << " " << t;
  EXPECT_EQ(r.value.samples, a.samples) << point << " " << t;
}

class TrendFile : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  }
  std::string path = unique_temp_path(".db");
};

// Each round's analogue values go into their point's minute and hour; a
// value re-checked at the end of the round counts once, one that is not a
// number not at all; take() hands over the minutes, finished or not, and
// the hours that have ended (all of them when asked, at a stop).
TEST(TrendRecorder, MinutesAndHoursOfEveryAnaloguePoint) {
  TrendRecorder rec;
  const rule_value alarm{rule_alarm, "QLT_0", "", 15, 1, "02401", "UPS1", rule_in_alarm};
  auto round = [&](std::int64_t t, float temp, float volts) {
    rec.add(7,
            {analogue("temperature_1_value", temp), alarm, analogue("battery_0_value", volts),
             analogue("humid_1_value", std::nanf("")), analogue("temperature_1_value", temp)},
            t);
  };
  round(t0 + 10, 20, 50);
  round(t0 + 20, 22, 52);
  round(t0 + 70, 30, 54);  // the next minute
  const std::vector<TrendRow> first = rec.take();
  ASSERT_EQ(first.size(), 4u);
  expect_row(first[0], "temperature_1_value", false, t0, agg(20, 21, 22, 2));
  expect_row(first[1], "battery_0_value", false, t0, agg(50, 51, 52, 2));
  expect_row(first[2], "temperature_1_value", false, t0 + 60, agg(30, 30, 30, 1));
  expect_row(first[3], "battery_0_value", false, t0 + 60, agg(54, 54, 54, 1));
  EXPECT_EQ(first[0].desc, "desc of temperature_1_value");
  EXPECT_EQ(first[0].device_number, 7u);
  // What was handed over is not handed over again; the rest of the minute
  // is, and the hour once the next has begun.
  round(t0 + 80, 10, 50);
  round(t0 + 3600, 40, 50);
  const std::vector<TrendRow> second = rec.take();
  ASSERT_EQ(second.size(), 6u);
  expect_row(second[0], "temperature_1_value", false, t0 + 60, agg(10, 10, 10, 1));
  expect_row(second[1], "temperature_1_value", true, t0, agg(10, 20.5, 30, 4));
  expect_row(second[2], "battery_0_value", false, t0 + 60, agg(50, 50, 50, 1));
  expect_row(second[3], "battery_0_value", true, t0, agg(50, 51.5, 54, 4));
  expect_row(second[4], "temperature_1_value", false, t0 + 3600, agg(40, 40, 40, 1));
  expect_row(second[5], "battery_0_value", false, t0 + 3600, agg(50, 50, 50, 1));
  const std::vector<TrendRow> last = rec.take(true);
  ASSERT_EQ(last.size(), 2u);
  expect_row(last[0], "temperature_1_value", true, t0 + 3600, agg(40, 40, 40, 1));
  EXPECT_TRUE(rec.take().empty());
  // Nobody takes them (a disk that does not answer): the oldest go, counted.
  for (std::int64_t m = 0; m < static_cast<std::int64_t>(TrendRecorder::waiting_rows) + 10; ++m)
    rec.add(8, {analogue("water_value", 0)}, t0 + 60 * m);
  EXPECT_LE(rec.take().size(), TrendRecorder::waiting_rows + 2);
  EXPECT_GT(rec.rows_dropped(), 0);
}

// Parts of one bucket merge in the database; the same slot a lap later (8
// days for minutes) takes the new bucket's place, and a read of the old
// range no longer shows it. A read merges the range's steps and the rows
// not written yet.
TEST_F(TrendFile, BucketsMergeInPartsAndALapLaterReplaces) {
  TrendStore store(path);
  const TrendRange day = *trend_range("24h"), week = *trend_range("7d");
  auto row = [](std::int64_t t, const Aggregate& a, bool hourly = false) {
    return TrendRow{7, "temperature_1_value", "温度1", hourly, t, a};
  };
  store.write({row(t0, agg(20, 21, 22, 2)), row(t0 + 60, agg(25, 25, 25, 1))});
  store.write({row(t0, agg(18, 24, 30, 2))});
  TrendAnswer a = store.read({7, "temperature_1_value", day}, t0 + 120);
  ASSERT_EQ(a.outcome, TrendAnswer::ok);
  EXPECT_EQ(a.desc, "温度1");
  EXPECT_EQ(a.to, t0 + 180);
  EXPECT_EQ(a.from, t0 + 180 - 86400);
  ASSERT_EQ(a.samples.size(), 2u);
  EXPECT_EQ(a.samples[0].t, t0);
  EXPECT_DOUBLE_EQ(a.samples[0].value.min, 18);
  EXPECT_DOUBLE_EQ(a.samples[0].value.mean, 22.5);
  EXPECT_DOUBLE_EQ(a.samples[0].value.max, 30);
  EXPECT_EQ(a.samples[0].value.samples, 4u);

  // A week's steps are ten minutes: both minutes in one, with an unwritten one.
  a = store.read({7, "temperature_1_value", week}, t0 + 120, {row(t0 + 120, agg(40, 40, 40, 1))});
  ASSERT_EQ(a.samples.size(), 1u);
  EXPECT_EQ(a.samples[0].t, t0);
  EXPECT_DOUBLE_EQ(a.samples[0].value.max, 40);
  EXPECT_EQ(a.samples[0].value.samples, 6u);

  const std::int64_t lap = TrendStore::minute_slots * 60;
  store.write({row(t0 + lap, agg(5, 5, 5, 1))});
  EXPECT_TRUE(store.read({7, "temperature_1_value", day}, t0 + 120).samples.size() == 1u);
  EXPECT_EQ(store.read({7, "temperature_1_value", day}, t0 + 120).samples[0].t, t0 + 60);
  EXPECT_DOUBLE_EQ(store.read({7, "temperature_1_value", day}, t0 + lap).samples[0].value.min, 5);
  EXPECT_EQ(store.read({7, "humid_1_value", day}, t0).outcome, TrendAnswer::unknown);
  EXPECT_EQ(store.read({8, "temperature_1_value", day}, t0).detail,
            "no trend of temperature_1_value for device 8");

  // A point not heard of for as long as the hours reach back is forgotten.
  store.write({row(t0, agg(1, 1, 1, 1), true)});
  EXPECT_EQ(store.prune(t0 + lap), 0);
  EXPECT_EQ(store.prune(t0 + lap + TrendStore::hour_slots * 3600 + 1), 1);
  EXPECT_EQ(store.points(), 0);
}

// The writer's thread answers questions with what is written and what is
// not yet, writes every so often and at its stop; once stopped it answers
// busy at once.
TEST_F(TrendFile, WriterAnswersOffItsThreadAndWritesAtItsStop) {
  std::int64_t now = t0 + 30;
  const WallClock clock = [&] {
    return std::chrono::system_clock::time_point(std::chrono::seconds(now));
  };
  TrendStore store(path);
  TrendRecorder rec(clock);
  ThreadGuard threads;
  TrendWriter writer(store, rec, threads, {std::chrono::hours(1), std::chrono::hours(24)}, clock);
  rec.add(7, {analogue("temperature_1_value", 21)}, t0 + 30);
  std::mutex m;
  std::condition_variable cv;
  std::vector<TrendAnswer> answers;
  auto ask = [&](TrendQuery q) {
    writer.query(q, [&](TrendAnswer a) {
      std::lock_guard<std::mutex> g(m);
      answers.push_back(std::move(a));
      cv.notify_one();
    });
    std::unique_lock<std::mutex> g(m);
    cv.wait_for(g, std::chrono::seconds(10), [&] { return !answers.empty(); });
    TrendAnswer a;
    a.outcome = TrendAnswer::failed;
    if (!answers.empty()) a = answers[0];
    answers.clear();
    return a;
  };
  const TrendAnswer live = ask({7, "temperature_1_value", *trend_range("24h")});
  ASSERT_EQ(live.outcome, TrendAnswer::ok) << live.detail;
  ASSERT_EQ(live.samples.size(), 1u);
  EXPECT_DOUBLE_EQ(live.samples[0].value.mean, 21);
  EXPECT_EQ(store.points(), 0);
  writer.stop();
  EXPECT_EQ(store.read({7, "temperature_1_value", *trend_range("1y")}, now).samples.size(), 1u);
  EXPECT_EQ(ask({7, "temperature_1_value", *trend_range("24h")}).outcome, TrendAnswer::busy);
}

// What /api/trend and /api/trend.csv answer, for a source that answers at once.
TEST(TrendRoutes, JsonCsvAndQuestionsThatCannotBeAnswered) {
  struct Source final : TrendSource {
    void query(TrendQuery q, std::function<void(TrendAnswer)> done) override {
      asked = q;
      TrendAnswer a;
      if (q.point != "temperature_1_value") {
        a.outcome = TrendAnswer::unknown;
        a.detail = "no trend of " + q.point + " for device 7";
      } else {
        a.desc = "温度1";
        a.from = t0 - 86400 + 60;
        a.to = t0 + 60;
        a.samples = {{t0 - 60, agg(21.5, 21.75, 22, 60)}, {t0, agg(22, 22, 22, 12)}};
      }
      done(a);
    }
    TrendQuery asked{};
  } source;
  DeviceRegistry registry;
  const StatusRoutes routes(
      registry, [] { return OutputsStatus{}; }, {}, &source);
  auto get = [&](const std::string& path, const std::string& query) {
    HttpReply reply;
    HttpRequest request;
    request.method = "GET";
    request.path = path;
    request.query = query;
    routes.handle(request, [&](HttpReply r) { reply = std::move(r); });
    return reply;
  };
  HttpReply r = get("/api/trend", "device=7&point=temperature%5F1_value&range=24h");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.content_type, "application/json; charset=utf-8");
  EXPECT_EQ(r.body, R"({"device":7,"point":"temperature_1_value","desc":"温度1","range":"24h",)"
                    R"("step_s":60,"from":1799913660,"to":1800000060,"samples":[)"
                    R"({"t":1799999940,"min":21.5,"mean":21.75,"max":22,"samples":60},)"
                    R"({"t":1800000000,"min":22,"mean":22,"max":22,"samples":12}]})");
  r = get("/api/trend.csv", "point=temperature_1_value&device=7");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.content_type, "text/csv; charset=utf-8");
  EXPECT_EQ(r.filename, "device-7-temperature_1_value-24h.csv");
  EXPECT_EQ(r.body.substr(0, r.body.find('\n') + 1), "time,t,min,mean,max,samples\n");
  EXPECT_NE(r.body.find(",1799999940,21.5,21.75,22,60\n"), std::string::npos) << r.body;
  EXPECT_EQ(source.asked.range.step_s, 60);
  get("/api/trend", "device=7&point=temperature_1_value&range=1y");
  EXPECT_EQ(source.asked.range.step_s, 6 * 3600);
  EXPECT_TRUE(source.asked.range.hourly);
  EXPECT_EQ(get("/api/trend", "device=7&point=humid_1_value").status, 404);
  for (const char* bad :
       {"point=temperature_1_value", "device=x&point=a", "device=7", "device=7&point=a&range=2d",
        "device=99999999999&point=a", "device=7&point=%zz"})
    EXPECT_EQ(get("/api/trend", bad).status, 400) << bad;
}

// A year of a unit, a round every five minutes (the rows of a round a
// second, a fifth of the minutes), with an alarm change an hour: the
// history within its days and megabytes, the trends within their slots,
// the event files within their size, the database no larger than these.
TEST(DiskYear, HistoryTrendsAndEventsStayWithinTheirBounds) {
  std::string tmpl = ::testing::TempDir() + "kpl-year-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  qlttest::DiskYear year;
  year.dir = tmpl;
  year.round_s = 300;
  year.write_every_s = 3600;
  year.disk.history_keep_days = 30;
  year.disk.history_max_mb = 2;
  year.disk.events_max_mb = 0.02;
  year.disk.events_keep = 2;
  const qlttest::DiskFigures f = qlttest::run_disk_year(year);
  std::printf(
      "a simulated year: database %lld bytes (at most %lld), log %lld; history %ld rows, %lld "
      "bytes; %ld points, %ld minute rows, %ld hour rows; events %lld bytes (at most %lld), "
      "%ld alarm lines\n",
      f.database_bytes, f.most_database_bytes, f.log_bytes, f.history_rows, f.history_bytes,
      f.trend_points, f.minute_rows, f.hour_rows, f.event_bytes, f.most_event_bytes, f.alarm_lines);
  EXPECT_LE(f.history_bytes, 2LL << 20);
  EXPECT_EQ(f.trend_points, 14);
  EXPECT_EQ(f.minute_rows, 14 * TrendStore::minute_slots / 5);
  EXPECT_EQ(f.hour_rows, 14 * 365 * 24);
  EXPECT_EQ(f.alarm_lines, 365 * 24);
  EXPECT_LE(f.most_event_bytes, 3 * 20972);
  // The images and the trends' rows, each at most a few dozen bytes more on
  // its page than its data.
  const long long bound = (2LL << 20) + (f.minute_rows + f.hour_rows) * 80;
  EXPECT_LE(f.most_database_bytes, bound);
  std::system(("rm -rf '" + year.dir + "'").c_str());
}

}  // namespace
