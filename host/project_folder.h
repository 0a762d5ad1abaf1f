#ifndef VELMO_HOST_PROJECT_FOLDER_H_
#define VELMO_HOST_PROJECT_FOLDER_H_

#include <string>

#include "channels/engine/engine_project.h"

// The engine project of a folder laid out as the build ships it. The paths
// stay as relative as the folder name; the engine resolves them.
flutter::EngineProject ProjectFromFolder(const std::wstring& folder);

#endif  // VELMO_HOST_PROJECT_FOLDER_H_
