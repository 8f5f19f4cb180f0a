#include "world/WorldData.h"

#include "platform/Errors.h"
#include "platform/Files.h"

namespace zq {

void TWorldData::LoadShapes(const std::string& path) {
  shapes_ = std::make_unique<TZQShapes>(path);
}

void TWorldData::LoadShapeDims(const std::string& path) {
  zq::LoadShapeDims(path, dims_);
  dimsLoaded_ = true;
}

void TWorldData::LoadTfa(const std::string& path) {
  if (!shapes_) InternalCheckFailed("Tfa loaded before the shapes", "ZQMAPS");
  zq::LoadTfa(path, shapes_->Tfa());
  tfaLoaded_ = true;
}

void TWorldData::LoadChunks(const std::string& path) {
  if (!dimsLoaded_ || !tfaLoaded_)
    InternalCheckFailed("Chunks loaded before the shape dimensions and Tfa", "ZQMAPS");
  map_->LoadChunks(path);
  map_->BuildMasks(shapes_->Tfa(), dims_);
}

void TWorldData::LoadMap(const std::string& path) {
  map_->LoadMap(path);
}

void TWorldData::LoadFixed(const std::string& prefix) {
  zq::LoadFixed(prefix, fixLists_);
}

void TWorldData::LoadRegistered(const std::string& prefix) {
  if (!tfaLoaded_) InternalCheckFailed("Registered objects loaded before Tfa", "ZQMAPS");
  zq::LoadRegistered(prefix, shapes_->Tfa(), regLists_);
}

std::unique_ptr<TWorldData> LoadWorldData(const std::string& gameDirectory,
                                          const std::string& dataDirectory,
                                          const WorldProgress& progress) {
  auto done = [&](TWorldStep step) {
    if (progress) progress(step);
  };
  auto world = std::make_unique<TWorldData>();
  world->LoadShapes(ResolvePath(gameDirectory, "STATIC/SHAPES.VGA"));
  done(TWorldStep::Shapes);
  world->LoadShapeDims(ResolvePath(gameDirectory, "STATIC/SHPDIMS.DAT"));
  done(TWorldStep::ShapeDims);
  world->LoadTfa(ResolvePath(gameDirectory, "STATIC/TFA.DAT"));
  done(TWorldStep::Tfa);
  world->LoadChunks(ResolvePath(gameDirectory, "STATIC/ZQCHUNKS"));
  done(TWorldStep::Chunks);
  world->LoadMap(ResolvePath(gameDirectory, "STATIC/ZQMAP"));
  done(TWorldStep::Map);
  world->LoadFixed(ResolvePath(gameDirectory, "STATIC") + "/ZQIFIX");
  done(TWorldStep::Fixed);
  world->LoadRegistered(dataDirectory + "ZQIREG");
  done(TWorldStep::Registered);
  return world;
}

}  // namespace zq
