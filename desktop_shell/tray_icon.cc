#include "desktop_shell/tray_icon.h"

#include <utility>

TrayIcon::TrayIcon(std::unique_ptr<TrayIconSystem> system) : system_(std::move(system)) {}

TrayIcon::~TrayIcon() { Remove(); }

void TrayIcon::Ensure() {
  const TrayImage image = system_->LoadTrayImage();
  if (image == 0) {
    return;
  }
  if (tray_added_) {
    // The shell keeps its own copy of the image it shows.
    ReleaseImage();
    image_ = image;
    system_->ModifyIcon(image_);
    return;
  }
  // An image left from before a shell restart is no longer shown anywhere.
  ReleaseImage();
  add_requested_ = true;
  if (!system_->AddIcon(image)) {
    system_->DestroyTrayImage(image);
    return;
  }
  image_ = image;
  system_->SetIconVersion();
  tray_added_ = true;
}

void TrayIcon::Remove() {
  // Removing an icon that is not there is harmless; leaving one behind is a
  // ghost in the tray until the user's pointer passes over it.
  if (add_requested_) {
    system_->DeleteIcon();
    add_requested_ = false;
  }
  tray_added_ = false;
  ReleaseImage();
}

void TrayIcon::ReleaseImage() {
  if (image_ != 0) {
    system_->DestroyTrayImage(image_);
    image_ = 0;
  }
}
