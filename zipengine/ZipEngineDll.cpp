// The two entry points of ZIPENGINE.DLL. Nothing else leaves the library.
#include <exception>

#include "zip/ZipEngineApi.h"
#include "zipengine/ZipEngine.h"

extern "C" {

ZIPENGINE_EXPORT int32_t ZIPENGINE_CALL GetZipEngineVersion(void) { return dravello::zipengine::kEngineVersion; }

ZIPENGINE_EXPORT int32_t ZIPENGINE_CALL ZipEngineExec(ZipCommand* command) {
  if (!command) return -1;
  try {
    return dravello::zipengine::RunZipCommand(*command);
  } catch (...) {
    // Nothing may cross the library boundary; the caller treats a negative result as a fault.
    return -2;
  }
}

}  // extern "C"
