#include "desktop_shell/tray_icon.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Hands out numbered images and records every call; images still alive are
// kept so that leaks and double releases show.
struct TrayLedger {
  std::vector<std::string> calls;
  std::set<TrayImage> live_images;
  TrayImage next_image = 100;
  bool image_missing = false;
  bool add_fails = false;
  int double_releases = 0;
};

class FakeTraySystem : public TrayIconSystem {
 public:
  explicit FakeTraySystem(TrayLedger* ledger) : ledger_(ledger) {}

  TrayImage LoadTrayImage() override {
    ledger_->calls.push_back("load");
    if (ledger_->image_missing) {
      return 0;
    }
    ledger_->live_images.insert(ledger_->next_image);
    return ledger_->next_image++;
  }
  void DestroyTrayImage(TrayImage image) override {
    ledger_->calls.push_back("destroy " + std::to_string(image));
    ledger_->double_releases += ledger_->live_images.erase(image) == 0 ? 1 : 0;
  }
  bool AddIcon(TrayImage image) override {
    ledger_->calls.push_back("add " + std::to_string(image));
    return !ledger_->add_fails;
  }
  void SetIconVersion() override { ledger_->calls.push_back("version"); }
  void ModifyIcon(TrayImage image) override {
    ledger_->calls.push_back("modify " + std::to_string(image));
  }
  void DeleteIcon() override { ledger_->calls.push_back("delete"); }

 private:
  TrayLedger* ledger_;
};

using Calls = std::vector<std::string>;

class TrayIconTest : public ::testing::Test {
 protected:
  void TearDown() override {
    tray_.reset();
    EXPECT_TRUE(ledger_.live_images.empty()) << "images leaked";
    EXPECT_EQ(ledger_.double_releases, 0);
  }

  // Calls made by `step` alone.
  template <typename Step>
  Calls CallsOf(Step step) {
    ledger_.calls.clear();
    step();
    return ledger_.calls;
  }

  TrayLedger ledger_;
  std::unique_ptr<TrayIcon> tray_ =
      std::make_unique<TrayIcon>(std::make_unique<FakeTraySystem>(&ledger_));
};

TEST_F(TrayIconTest, FirstEnsureAddsWithVersionFour) {
  EXPECT_EQ(CallsOf([&] { tray_->Ensure(); }), (Calls{"load", "add 100", "version"}));
  EXPECT_TRUE(tray_->tray_added());
}

TEST_F(TrayIconTest, EnsureOnAShownIconSwapsTheImage) {
  tray_->Ensure();
  EXPECT_EQ(CallsOf([&] { tray_->Ensure(); }), (Calls{"load", "destroy 100", "modify 101"}));
  EXPECT_TRUE(tray_->tray_added());
}

TEST_F(TrayIconTest, FailedAddReleasesTheImageAndTheNextEnsureTriesAgain) {
  ledger_.add_fails = true;
  EXPECT_EQ(CallsOf([&] { tray_->Ensure(); }), (Calls{"load", "add 100", "destroy 100"}));
  EXPECT_FALSE(tray_->tray_added());

  ledger_.add_fails = false;
  EXPECT_EQ(CallsOf([&] { tray_->Ensure(); }), (Calls{"load", "add 101", "version"}));
  EXPECT_TRUE(tray_->tray_added());
}

TEST_F(TrayIconTest, MissingImageLeavesEverythingAsItWas) {
  tray_->Ensure();
  ledger_.image_missing = true;
  EXPECT_EQ(CallsOf([&] { tray_->Ensure(); }), (Calls{"load"}));
  EXPECT_TRUE(tray_->tray_added());
  EXPECT_EQ(CallsOf([&] { tray_->Remove(); }), (Calls{"delete", "destroy 100"}));
}

TEST_F(TrayIconTest, ShellRestartAddsAnewAndDropsTheOldImage) {
  tray_->Ensure();
  tray_->ForgetAfterShellRestart();
  EXPECT_FALSE(tray_->tray_added());
  EXPECT_EQ(CallsOf([&] { tray_->Ensure(); }),
            (Calls{"load", "destroy 100", "add 101", "version"}));
  EXPECT_TRUE(tray_->tray_added());
}

TEST_F(TrayIconTest, RemoveDeletesOnceAndDestructionAfterItDoesNothingMore) {
  tray_->Ensure();
  EXPECT_EQ(CallsOf([&] { tray_->Remove(); }), (Calls{"delete", "destroy 100"}));
  EXPECT_FALSE(tray_->tray_added());
  EXPECT_EQ(CallsOf([&] { tray_.reset(); }), Calls{});
}

TEST_F(TrayIconTest, DestructionRemovesAShownIcon) {
  tray_->Ensure();
  EXPECT_EQ(CallsOf([&] { tray_.reset(); }), (Calls{"delete", "destroy 100"}));
}

TEST_F(TrayIconTest, NeverAddedIconIsNeverDeleted) {
  ledger_.add_fails = true;
  tray_->Ensure();
  EXPECT_EQ(CallsOf([&] { tray_.reset(); }), Calls{});
}

}  // namespace
