#include "world/ShpDims.h"

#include "platform/Console.h"
#include "platform/Files.h"

namespace zq {

void LoadShapeDims(const std::string& path, ShapeDims& dims) {
  TBinaryFile file = TBinaryFile::OpenRead(path);
  if (file.Size() != SHAPE_DIMS_SIZE) ConsoleLine(TLogLevel::Warning, "DIMS != SHPDIMS");
  ShapeDims loaded;
  file.Read(loaded.Bytes.data(), loaded.Bytes.size());
  file.Close();
  dims = loaded;
}

void LoadTfa(const std::string& path, TfaTable& tfa) {
  TBinaryFile file = TBinaryFile::OpenRead(path);
  TfaTable loaded;
  file.Read(loaded.data(), TFA_SIZE);
  file.Close();
  tfa = loaded;
}

}  // namespace zq
