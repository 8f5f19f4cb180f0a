#include "server/StartSteps.h"

#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "world/Installation.h"

namespace zq {
namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The extraction's progress, with a look for a stop request after each turn of the loop.
class TStoppableProgress : public IExtractProgress {
 public:
  TStoppableProgress(IExtractProgress& shown, const TStopCheck& checkStop)
      : shown_(shown), checkStop_(checkStop) {}
  void SetLabel(int label, const std::string& text) override { shown_.SetLabel(label, text); }
  void ProcessEvents() override {
    shown_.ProcessEvents();
    checkStop_();
  }

 private:
  IExtractProgress& shown_;
  const TStopCheck& checkStop_;
};

}  // namespace

std::string GameDirectoryOf(const TServerSettings& settings) {
  const std::string chosen =
      settings.GameDirectory.empty() ? fs::current_path().string() : settings.GameDirectory;
  return WithSlash(fs::absolute(chosen).lexically_normal().string());
}

std::string LogPathOf(const std::string& gameDirectory, const TServerSettings& settings) {
  const std::string& file = settings.LogFile;
  if (file == NO_LOG_FILE) return {};
  return fs::path(file).is_absolute() ? file : gameDirectory + file;
}

std::string PrepareDataDirectory(const std::string& gameDirectory, TServerLog& log,
                                 IServerView& view, const TStopCheck& checkStop) {
  if (int n = RemoveUnfinishedUnpacking(gameDirectory))
    log.Write("Removed " + std::to_string(n) + " unfinished unpacking(s) of " +
              DATA_DIRECTORY_NAME + ".");
  // An existing data directory, in any letter case, is used as it is.
  if (std::optional<std::string> existing = FindDataDirectory(gameDirectory)) return *existing;
  const std::string dataDirectory = gameDirectory + DATA_DIRECTORY_NAME + "/";
  log.Write("Building GameDat entries in " + dataDirectory);
  TStoppableProgress progress(view.ShowExtractionProgress(gameDirectory, dataDirectory), checkStop);
  try {
    BuildDataDirectory(gameDirectory, progress);
  } catch (...) {
    view.HideExtractionProgress();
    throw;
  }
  view.HideExtractionProgress();
  return dataDirectory;
}

std::string ReadIdentity(const std::string& dataDirectory) {
  std::string path = ResolvePath(dataDirectory, "IDENTITY");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("Cannot open " + path + ": no such file or not readable");
  std::string line;
  std::getline(in, line);
  if (in.bad()) throw EInOutError("Cannot read " + path);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > 0xFFFF)
    throw EInOutError("The identity in " + path + " is " + std::to_string(line.size()) +
                      " bytes long, more than the 65535 a message can carry");
  return line;
}

std::shared_ptr<const TWorldData> LoadWorld(const std::string& gameDirectory,
                                            const std::string& dataDirectory, TServerLog& log,
                                            IServerView& view, const TStopCheck& checkStop) {
  return LoadWorldData(gameDirectory, WithSlash(dataDirectory), [&](TWorldStep done) {
    checkStop();
    switch (done) {
      case TWorldStep::Shapes:
        return log.Write("Shapes loaded.");
      case TWorldStep::Tfa:
        return view.ProcessPendingEvents();
      case TWorldStep::Map:
        log.Write("TFA, Chunks, Map loaded.");
        return view.ProcessPendingEvents();
      case TWorldStep::Fixed:
        return log.Write("IFIX Loaded.");
      case TWorldStep::Registered:
        return log.Write("IREG Loaded.");
      default:
        return;
    }
  });
}

}  // namespace zq
