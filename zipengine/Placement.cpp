#include "zipengine/Placement.h"

#include <memory>
#include <optional>

#include "runtime/SysUtils.h"

namespace dravello::zipengine {

namespace {

void RemoveQuietly(Env& env, const std::string& path) {
  try {
    env.DeleteFile(path);
  } catch (...) {
    // Nothing more can be done; the failure that led here is the one reported.
  }
}

}  // namespace

void MoveIntoPlace(Env& env, const std::string& temp, const std::string& archive, bool tempElsewhere) {
  try {
    env.RenameFile(temp, archive);
    return;
  } catch (const Exception&) {
    if (!tempElsewhere) throw;
  }
  WriteFileAtomically(env, archive, [&](WritableFile& out) {
    std::unique_ptr<SequentialFile> in = env.NewSequentialFile(temp);
    std::vector<char> buf(1 << 20);
    for (size_t n; (n = in->Read(buf.data(), buf.size())) > 0;) out.Append(buf.data(), n);
  });
  RemoveQuietly(env, temp);
}

void TendSources(Env& env, const std::vector<PackedSource>& sources, bool resetArchive, bool move,
                 const std::function<bool(const std::string&)>& warn) {
  if (!resetArchive && !move) return;
  constexpr uint32_t kDosBits = faReadOnly | faHidden | faSysFile | faArchive;
  for (const PackedSource& s : sources) {
    bool goOn = true;
    try {
      FileStat now = env.Stat(s.Path);
      bool unchanged = !s.Changed && now.Kind == FileKind::Regular && now.SameContentStamp(s.AsRead);
      if (!unchanged) {
        goOn = warn(std::string(move ? "changed since it was read, not deleted: "
                                     : "changed since it was read, archive attribute kept: ") +
                    s.Path);
      } else if (move) {
        env.DeleteFile(s.Path);
      } else {
        std::optional<uint32_t> attrs = env.GetAttributes(s.Path);
        if (attrs && (*attrs & faArchive)) env.SetAttributes(s.Path, *attrs & kDosBits & ~faArchive, &s.AsRead);
      }
    } catch (const Exception& e) {
      goOn = warn(e.Message());
    }
    if (!goOn) return;
  }
}

}  // namespace dravello::zipengine
