// TWorldData: everything read from the installation and the data directory at start-up
// (shapes with Tfa, shape dimensions, chunks, map with its blocking masks, fixed and
// registered object lists), one load step per file so the start sequence can log between
// them. Allocate it on the heap (the tables are large). Loaded on the main thread, read-only
// from any thread afterwards.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "world/Blocking.h"
#include "world/Shapes.h"
#include "world/ShpDims.h"
#include "world/ZQMaps.h"
#include "world/ZQObjects.h"

namespace zq {

class TWorldData {
 public:
  // Each step raises EInOutError naming the file on a missing or short file, and
  // EInternalCheck (module "ZQMAPS") when a table it needs is not loaded yet. Order:
  // LoadShapes, LoadShapeDims, LoadTfa, LoadChunks, LoadMap, LoadFixed, LoadRegistered.
  void LoadShapes(const std::string& path);
  void LoadShapeDims(const std::string& path);
  void LoadTfa(const std::string& path);     // needs the shapes
  void LoadChunks(const std::string& path);  // needs dims and Tfa: builds the masks
  void LoadMap(const std::string& path);
  void LoadFixed(const std::string& prefix);
  void LoadRegistered(const std::string& prefix);  // needs Tfa

  const TZQShapes& Shapes() const { return *shapes_; }
  bool HasShapes() const { return shapes_ != nullptr; }
  const TfaTable& Tfa() const { return shapes_->Tfa(); }
  const ShapeDims& Dims() const { return dims_; }
  const TZQMap& Map() const { return *map_; }
  const IBlockingMap& Blocking() const { return *map_; }
  const std::vector<FixList>& FixLists() const { return fixLists_; }
  const std::vector<RegList>& RegLists() const { return regLists_; }

 private:
  std::unique_ptr<TZQShapes> shapes_;
  ShapeDims dims_;
  bool dimsLoaded_ = false;
  bool tfaLoaded_ = false;
  std::unique_ptr<TZQMap> map_ = std::make_unique<TZQMap>();
  std::vector<FixList> fixLists_ = std::vector<FixList>(OBJECT_LISTS);
  std::vector<RegList> regLists_ = std::vector<RegList>(OBJECT_LISTS);
};

// The load steps, in their order.
enum class TWorldStep { Shapes, ShapeDims, Tfa, Chunks, Map, Fixed, Registered };
// Told after each step, so that a caller can log and keep its window alive meanwhile.
using WorldProgress = std::function<void(TWorldStep done)>;

// Every load step in order, for a game directory and its data directory (both ending in "/").
std::unique_ptr<TWorldData> LoadWorldData(const std::string& gameDirectory,
                                          const std::string& dataDirectory,
                                          const WorldProgress& progress = {});

}  // namespace zq
