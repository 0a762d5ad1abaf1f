#ifndef VELMO_HOST_WINDOW_IDENTITY_H_
#define VELMO_HOST_WINDOW_IDENTITY_H_

// How the main window is found: by its own instance and by a second launch.
inline constexpr wchar_t kMainWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
inline constexpr wchar_t kMainWindowTitle[] = L"Velmo";

#endif  // VELMO_HOST_WINDOW_IDENTITY_H_
