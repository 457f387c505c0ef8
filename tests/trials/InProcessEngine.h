// The engine core in this process, loaded as ZIPENGINE.DLL would be: a test double of Env
// whose OpenLibrary returns it sees every file the engine writes and reads.
#pragma once

#include <string>

#include "runtime/Env.h"
#include "zip/ZipEngineApi.h"
#include "zipengine/ZipEngine.h"

namespace dravello {

class InProcessEngine : public DynamicLibrary {
 public:
  void* Symbol(const std::string& name) override {
    if (name == "ZipEngineExec") return reinterpret_cast<void*>(&Exec);
    if (name == "GetZipEngineVersion") return reinterpret_cast<void*>(&Version);
    return nullptr;
  }
  std::string Path() override { return "ZIPENGINE.DLL (in process)"; }

 private:
  static int32_t ZIPENGINE_CALL Exec(ZipCommand* command) { return zipengine::RunZipCommand(*command); }
  static int32_t ZIPENGINE_CALL Version() { return zipengine::kEngineVersion; }
};

}  // namespace dravello
