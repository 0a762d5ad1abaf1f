#include "host/project_folder.h"

flutter::EngineProject ProjectFromFolder(const std::wstring& folder) {
  flutter::EngineProject project;
  project.assets_path = folder + L"\\flutter_assets";
  project.icu_data_path = folder + L"\\icudtl.dat";
  project.aot_library_path = folder + L"\\app.so";
  return project;
}
