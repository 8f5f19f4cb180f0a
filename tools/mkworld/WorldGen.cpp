#include "tools/mkworld/WorldGen.h"

#include <filesystem>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "tools/mkworld/Objects.h"
#include "tools/mkworld/ShapeTables.h"
#include "tools/mkworld/Terrain.h"

namespace zq::mkworld {

std::vector<GeneratedFile> BuildInstallation(const WorldOptions& options) {
  Terrain terrain = BuildTerrain(options);
  std::vector<GeneratedFile> files;
  files.reserve(6 + SUPERCHUNKS);
  files.push_back({"STATIC/SHAPES.VGA", ShapesVgaBytes()});
  files.push_back({"STATIC/SHPDIMS.DAT", ShpDimsBytes()});
  files.push_back({"STATIC/TFA.DAT", TfaBytes()});
  files.push_back({"STATIC/ZQCHUNKS", ChunksBytes(terrain)});
  files.push_back({"STATIC/ZQMAP", MapBytes(terrain)});
  for (GeneratedFile& f : FixedObjectFiles(options.seed)) files.push_back(std::move(f));
  files.push_back({"STATIC/INITGAME.DAT", InitGameBytes(options.seed)});
  return files;
}

void WriteInstallation(const std::string& dir, const WorldOptions& options) {
  std::vector<GeneratedFile> files = BuildInstallation(options);
  const std::filesystem::path staticDir = std::filesystem::path(dir) / "STATIC";
  std::error_code ec;
  std::filesystem::create_directories(staticDir, ec);
  if (ec || !std::filesystem::is_directory(staticDir))
    throw EInOutError("Cannot create directory " + staticDir.string() +
                      (ec ? ": " + ec.message() : ""));
  for (const GeneratedFile& f : files) {
    // A fresh file rather than a truncated one: truncating makes the file system flush on close.
    const std::string path = (std::filesystem::path(dir) / f.path).string();
    if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
    TBinaryFile out = TBinaryFile::Create(path);
    out.Write(f.bytes.data(), f.bytes.size());
    out.Close();
  }
}

}  // namespace zq::mkworld
