#include "server/connection_log.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

TEST(ConnectionLog, FormatsDateTimeAndText) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* expected;
  };
  const Case cases[] = {
      {2026, 12, 6, 14, 3, 59, "12/06/26 14:03:59 x\r\n"},
      {2005, 3, 1, 0, 0, 0, "03/01/05 00:00:00 x\r\n"},
      {1999, 1, 31, 23, 59, 7, "01/31/99 23:59:07 x\r\n"},
  };
  for (const auto& c : cases) {
    std::tm when{};
    when.tm_year = c.year - 1900;
    when.tm_mon = c.month - 1;
    when.tm_mday = c.day;
    when.tm_hour = c.hour;
    when.tm_min = c.minute;
    when.tm_sec = c.second;
    EXPECT_EQ(server::FormatLogLine(when, "x"), c.expected);
  }
}

TEST(ConnectionLog, FirstLineCreatesTheFile) {
  TempFolder folder;
  ASSERT_TRUE(server::AppendLog("Connection received from: 127.0.0.1"));
  std::string log = folder.Read(server::kLogFileName);
  ASSERT_EQ(log.size(), 18u + 35u + 2u);
  EXPECT_EQ(log.substr(18), "Connection received from: 127.0.0.1\r\n");
  EXPECT_EQ(log[2], '/');
  EXPECT_EQ(log[11], ':');
}

TEST(ConnectionLog, ConcurrentAppendsKeepLinesWhole) {
  TempFolder folder;
  constexpr int kThreads = 50, kLines = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string text =
          "client " + std::to_string(t) + " " + std::string(200, static_cast<char>('a' + t % 26));
      for (int i = 0; i < kLines; ++i) ASSERT_TRUE(server::AppendLog(text));
    });
  }
  for (auto& thread : threads) thread.join();

  std::istringstream log(folder.Read(server::kLogFileName));
  std::multiset<std::string> texts;
  for (std::string line; std::getline(log, line);) {
    ASSERT_EQ(line.back(), '\r');
    texts.insert(line.substr(18, line.size() - 19));
  }
  ASSERT_EQ(texts.size(), static_cast<size_t>(kThreads * kLines));
  for (int t = 0; t < kThreads; ++t) {
    std::string text =
        "client " + std::to_string(t) + " " + std::string(200, static_cast<char>('a' + t % 26));
    EXPECT_EQ(texts.count(text), static_cast<size_t>(kLines));
  }
}

// Past its limit the log is kept aside, over an older copy, and a new one
// starts; from many threads at once, every line lands whole in one of the
// two, and the log never grows far past the limit.
TEST(ConnectionLog, APassedLimitKeepsTheLogAsideAndStartsAnew) {
  TempFolder folder;
  constexpr int64_t kLimit = 4000;
  constexpr int kThreads = 8, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i)
        ASSERT_TRUE(server::AppendLog("client " + std::to_string(t) + " line " + std::to_string(i),
                                      kLimit));
    });
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(server::AppendLog("the last line", kLimit));

  const std::string log = folder.Read(server::kLogFileName);
  const std::string old = folder.Read(server::kOldLogFileName);
  EXPECT_LE(log.size(), static_cast<size_t>(kLimit) + 64 * kThreads);
  EXPECT_GE(old.size(), static_cast<size_t>(kLimit));
  EXPECT_NE(log.find("the last line\r\n"), std::string::npos);
  for (const std::string& text : {log, old}) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(line.find(" client ") == 17 || line.find(" the last line") == 17) << line;
    EXPECT_EQ(text.back(), '\n');
  }
}

}  // namespace
