#include "desktop_shell/tray_icon.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Hands out numbered images and logs every call. The log names each image
// released, so a leak or a double release shows in it.
struct TrayLedger {
  std::string calls;
  TrayImage next_image = 1;
  bool image_missing = false;
  bool add_fails = false;
};

class FakeTraySystem : public TrayIconSystem {
 public:
  explicit FakeTraySystem(TrayLedger* ledger) : l_(ledger) {}

  TrayImage LoadTrayImage() override {
    l_->calls += l_->image_missing ? "load- " : "load" + std::to_string(l_->next_image) + " ";
    return l_->image_missing ? 0 : l_->next_image++;
  }
  void DestroyTrayImage(TrayImage image) override {
    l_->calls += "destroy" + std::to_string(image) + " ";
  }
  bool AddIcon(TrayImage image) override {
    l_->calls += "add" + std::to_string(image) + (l_->add_fails ? "- " : " ");
    return !l_->add_fails;
  }
  void SetIconVersion() override { l_->calls += "version "; }
  void ModifyIcon(TrayImage image) override { l_->calls += "modify" + std::to_string(image) + " "; }
  void DeleteIcon() override { l_->calls += "delete "; }

 private:
  TrayLedger* l_;
};

// Steps, one letter each: E Ensure, R shell restart, Q Remove (quit), F adds
// fail from here, A adds succeed again, M image missing. The tray is
// destroyed after the last step.
struct TrayCase {
  const char* name;
  const char* steps;
  const char* calls;
  bool added_at_end;
};

constexpr TrayCase kCases[] = {
    {"first_ensure_adds_with_version", "E", "load1 add1 version delete destroy1 ", true},
    {"ensure_when_shown_swaps_the_image", "EE",
     "load1 add1 version load2 destroy1 modify2 delete destroy2 ", true},
    {"failed_add_releases_and_next_ensure_retries", "FEAE",
     "load1 add1- destroy1 load2 add2 version delete destroy2 ", true},
    // A time-out reports failure although the icon was added.
    {"refused_add_is_still_removed_and_missing_image_adds_nothing", "FEME",
     "load1 add1- destroy1 load- delete ", false},
    {"no_add_asked_no_removal", "ME", "load- ", false},
    {"missing_image_changes_nothing", "EME", "load1 add1 version load- delete destroy1 ", true},
    {"shell_restart_adds_anew_and_quit_removes_once", "EREQQ",
     "load1 add1 version load2 destroy1 add2 version delete destroy2 ", false},
};

TEST(TrayIconTest, MakesTheseCallsAndReleasesEveryImageOnce) {
  for (const TrayCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TrayLedger ledger;
    auto tray = std::make_unique<TrayIcon>(std::make_unique<FakeTraySystem>(&ledger));
    for (const char* step = c.steps; *step != '\0'; ++step) {
      if (*step == 'E') tray->Ensure();
      if (*step == 'R') tray->ForgetAfterShellRestart();
      if (*step == 'Q') tray->Remove();
      if (*step == 'F' || *step == 'A' || *step == 'M') {
        ledger.add_fails = *step == 'F';
        ledger.image_missing = *step == 'M';
      }
    }
    EXPECT_EQ(tray->tray_added(), c.added_at_end);
    tray.reset();
    EXPECT_EQ(ledger.calls, c.calls);
  }
}

}  // namespace
