#include "diagnostics/crash_gate.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kWriter = 7;
constexpr std::uint32_t kFirst = 11;
constexpr std::uint32_t kSecond = 12;

struct ClaimCase {
  const char* what;
  std::vector<std::uint32_t> claims;  // in order; the last one's role is checked
  std::uint32_t writer;
  CrashRole role;
};

class CrashGateTest : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(CrashGateTest, RoleOfTheLastClaim) {
  const ClaimCase& c = GetParam();
  CrashGate gate;
  CrashRole role = CrashRole::kPassOn;
  for (const std::uint32_t thread : c.claims) {
    role = gate.Claim(thread, c.writer);
  }
  EXPECT_EQ(role, c.role) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Claims, CrashGateTest,
    ::testing::Values(
        ClaimCase{"first crash", {kFirst}, kWriter, CrashRole::kWrite},
        ClaimCase{"first crash, no writer thread", {kFirst}, 0, CrashRole::kWrite},
        ClaimCase{"second thread", {kFirst, kSecond}, kWriter, CrashRole::kWaitForFirst},
        ClaimCase{"third thread", {kFirst, kSecond, 13}, kWriter, CrashRole::kWaitForFirst},
        ClaimCase{"first thread again", {kFirst, kFirst}, kWriter, CrashRole::kPassOn},
        ClaimCase{
            "first again after a second", {kFirst, kSecond, kFirst}, kWriter, CrashRole::kPassOn},
        ClaimCase{"writer while writing", {kFirst, kWriter}, kWriter, CrashRole::kPassOn},
        ClaimCase{"writer before any crash", {kWriter}, kWriter, CrashRole::kPassOn},
        ClaimCase{"a crash after the writer's", {kWriter, kFirst}, kWriter, CrashRole::kWrite}));

}  // namespace
