#include "desktop_shell/tray_icon.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <set>
#include <string>

namespace {

// Hands out numbered images and logs every call; images still alive are kept
// so that leaks and double releases show.
struct TrayLedger {
  std::string calls;
  std::set<TrayImage> live_images;
  TrayImage next_image = 1;
  bool image_missing = false;
  bool add_fails = false;
  int double_releases = 0;
};

class FakeTraySystem : public TrayIconSystem {
 public:
  explicit FakeTraySystem(TrayLedger* ledger) : ledger_(ledger) {}

  TrayImage LoadTrayImage() override {
    if (ledger_->image_missing) {
      ledger_->calls += "load- ";
      return 0;
    }
    ledger_->live_images.insert(ledger_->next_image);
    ledger_->calls += "load" + std::to_string(ledger_->next_image) + " ";
    return ledger_->next_image++;
  }
  void DestroyTrayImage(TrayImage image) override {
    ledger_->calls += "destroy" + std::to_string(image) + " ";
    ledger_->double_releases += ledger_->live_images.erase(image) == 0 ? 1 : 0;
  }
  bool AddIcon(TrayImage image) override {
    ledger_->calls += "add" + std::to_string(image) + (ledger_->add_fails ? "- " : " ");
    return !ledger_->add_fails;
  }
  void SetIconVersion() override { ledger_->calls += "version "; }
  void ModifyIcon(TrayImage image) override {
    ledger_->calls += "modify" + std::to_string(image) + " ";
  }
  void DeleteIcon() override { ledger_->calls += "delete "; }

 private:
  TrayLedger* ledger_;
};

// Steps, one letter each: E Ensure, R shell restart, Q Remove (quit), D
// destroy, F adds fail from here, A adds succeed again, M image missing.
struct TrayCase {
  const char* name;
  const char* steps;
  const char* calls;
  bool added_at_end;
};

std::ostream& operator<<(std::ostream& out, const TrayCase& c) { return out << c.name; }

class TrayIconTest : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayIconTest, MakesTheseCallsAndReleasesEveryImageOnce) {
  const TrayCase& c = GetParam();
  TrayLedger ledger;
  auto tray = std::make_unique<TrayIcon>(std::make_unique<FakeTraySystem>(&ledger));
  bool added = false;
  for (const char* step = c.steps; *step != '\0'; ++step) {
    switch (*step) {
      case 'E':
        tray->Ensure();
        break;
      case 'R':
        tray->ForgetAfterShellRestart();
        break;
      case 'Q':
        tray->Remove();
        break;
      case 'F':
        ledger.add_fails = true;
        break;
      case 'A':
        ledger.add_fails = false;
        break;
      case 'M':
        ledger.image_missing = true;
        break;
      case 'D':
        added = tray->tray_added();
        tray.reset();
        break;
    }
  }
  EXPECT_EQ(ledger.calls, c.calls);
  EXPECT_EQ(added, c.added_at_end);
  EXPECT_TRUE(ledger.live_images.empty()) << "images leaked";
  EXPECT_EQ(ledger.double_releases, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TrayIconTest,
    ::testing::Values(
        TrayCase{"first_ensure_adds_with_version", "ED", "load1 add1 version delete destroy1 ",
                 true},
        TrayCase{"ensure_when_shown_swaps_the_image", "EED",
                 "load1 add1 version load2 destroy1 modify2 delete destroy2 ", true},
        TrayCase{"failed_add_releases_and_next_ensure_retries", "FEAED",
                 "load1 add1- destroy1 load2 add2 version delete destroy2 ", true},
        TrayCase{"never_added_is_never_deleted", "FEED",
                 "load1 add1- destroy1 load2 add2- destroy2 ", false},
        TrayCase{"missing_image_changes_nothing", "EMED",
                 "load1 add1 version load- delete destroy1 ", true},
        TrayCase{"missing_image_first_adds_nothing", "MED", "load- ", false},
        TrayCase{"shell_restart_adds_anew", "EREQD",
                 "load1 add1 version load2 destroy1 add2 version delete destroy2 ", false},
        TrayCase{"quit_removes_once", "EQQD", "load1 add1 version delete destroy1 ", false}),
    [](const ::testing::TestParamInfo<TrayCase>& info) { return std::string(info.param.name); });

}  // namespace
