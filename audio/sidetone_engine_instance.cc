#include <memory>

#include "audio/sidetone_engine.h"
#include "audio/sidetone_wasapi_session.h"

SidetoneEngine& SidetoneEngine::Instance() {
  // Never destroyed: the window teardown stops the monitor, and no join may
  // be attempted while the process is already ending.
  static SidetoneEngine* const instance =
      new SidetoneEngine([] { return std::make_unique<SidetoneWasapiSession>(); });
  return *instance;
}
