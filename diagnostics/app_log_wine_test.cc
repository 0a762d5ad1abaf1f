// The log's path for threads that must not wait, against the real file
// system: it returns while another thread holds the log lock, and what it
// queued reaches app.log once the lock is free.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "diagnostics/app_log.h"
#include "diagnostics/log_line_queue.h"
#include "diagnostics/log_lock.h"

namespace {

std::string ReadAppLog() {
  std::ifstream file(std::filesystem::path(LogsDirectory() + L"\\app.log"), std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(AppLogNonBlockingTest, ReturnsWhileTheLockIsHeldAndWritesOnceItIsFree) {
  // This run's lines are told apart from any other process's by a token.
  const std::string token =
      "token=" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64());
  AppendLog(("app_log_test_start " + token).c_str());
  ASSERT_FALSE(LogsDirectory().empty());

  constexpr std::size_t kLines = LogLineQueue::kCapacity + 44;
  std::unique_lock<std::mutex> held(LogLock());
  const HANDLE returned_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(returned_event, nullptr);
  std::thread logger([&token, returned_event] {
    for (std::size_t n = 0; n < kLines; ++n) {
      AppendLogNonBlocking(("app_log_test_queued " + token + " n=" + std::to_string(n)).c_str());
    }
    ::SetEvent(returned_event);
  });
  // A generous bound only against a hang: the calls take microseconds.
  const bool returned = ::WaitForSingleObject(returned_event, 30000) == WAIT_OBJECT_0;
  held.unlock();
  logger.join();
  ::CloseHandle(returned_event);
  ASSERT_TRUE(returned) << "the non-blocking path waited for the log lock";

  DrainLogQueue();
  const std::string log = ReadAppLog();
  EXPECT_EQ(Count(log, "app_log_test_queued " + token + " "), LogLineQueue::kCapacity);
  EXPECT_EQ(Count(log, token + " n=0\r\n"), 1u);
  EXPECT_EQ(Count(log, token + " n=" + std::to_string(LogLineQueue::kCapacity - 1) + "\r\n"), 1u);
  EXPECT_EQ(Count(log, token + " n=" + std::to_string(LogLineQueue::kCapacity) + "\r\n"), 0u);
  EXPECT_NE(log.find(" log_lines_dropped count=" +
                     std::to_string(kLines - LogLineQueue::kCapacity) + "\r\n"),
            std::string::npos);
}

TEST(AppLogNonBlockingTest, TheWriterThreadWritesWithoutAnyOtherLine) {
  const std::string line = "app_log_test_alone token=" + std::to_string(::GetTickCount64());
  AppendLog("app_log_test_writer_started");
  AppendLogNonBlocking(line.c_str());
  // Nothing else drains: only the writer thread can put the line there. The
  // test waits for that event itself, however long the writer takes.
  while (ReadAppLog().find(line + "\r\n") == std::string::npos) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  SUCCEED();
}

}  // namespace
