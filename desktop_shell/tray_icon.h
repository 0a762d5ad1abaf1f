#ifndef VELMO_DESKTOP_SHELL_TRAY_ICON_H_
#define VELMO_DESKTOP_SHELL_TRAY_ICON_H_

#include <cstdint>
#include <memory>

// An icon image owned by the tray; 0 is none.
using TrayImage = std::uintptr_t;

// The system calls behind the tray icon. The real one talks to the shell's
// notification area; tests put one in its place that fails on demand, since
// the real shell will not refuse an icon when asked to.
class TrayIconSystem {
 public:
  virtual ~TrayIconSystem() = default;
  // The application icon at the tray's size, else at its default size; 0
  // when it cannot be loaded.
  virtual TrayImage LoadTrayImage() = 0;
  virtual void DestroyTrayImage(TrayImage image) = 0;
  // Fills the icon record afresh with `image` and adds it.
  virtual bool AddIcon(TrayImage image) = 0;
  // Asks for the version-4 callback convention on the added icon.
  virtual void SetIconVersion() = 0;
  virtual void ModifyIcon(TrayImage image) = 0;
  virtual void DeleteIcon() = 0;
};

// The main window's icon in the notification area: added, refreshed, re-added
// after the shell restarted, removed on quit and on destruction. Owns the
// image the shell shows.
class TrayIcon {
 public:
  explicit TrayIcon(std::unique_ptr<TrayIconSystem> system);
  ~TrayIcon();

  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon, or refreshes its image when it is already shown. When the
  // image cannot be loaded nothing changes; when the add fails the icon stays
  // missing and the next call tries again.
  void Ensure();

  // The shell restarted and forgot every icon.
  void ForgetAfterShellRestart() { tray_added_ = false; }

  // Takes the icon out of the notification area and releases its image. The
  // removal is asked for after every add, also one that reported failure:
  // the shell reports a time-out as failure although it did add the icon.
  void Remove();

  bool tray_added() const { return tray_added_; }

 private:
  void ReleaseImage();

  std::unique_ptr<TrayIconSystem> system_;
  TrayImage image_ = 0;
  // The add reported success.
  bool tray_added_ = false;
  // An add was asked for since the last removal, whatever it reported.
  bool add_requested_ = false;
};

#endif  // VELMO_DESKTOP_SHELL_TRAY_ICON_H_
