#include "world/IregExtract.h"

#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/Console.h"
#include "platform/Files.h"
#include "world/FlexRead.h"

namespace zq {

void TConsoleProgress::SetLabel(int label, const std::string& text) {
  if (text.empty() || text == " ") return;
  ConsoleLine("[" + std::to_string(label) + "] " + text);
}

std::string EntryFileName(const std::string& entry) {
  const std::size_t field = entry.size() < EXTRACT_NAME_SIZE ? entry.size() : EXTRACT_NAME_SIZE;
  const std::size_t end = entry.find('\0');
  return entry.substr(0, end < field ? end : field);
}

bool IsUsableFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

void ExtractInitGame(const std::string& gameDir, const std::string& outDir,
                     IExtractProgress& progress) {
  const std::string dir = outDir.empty() || outDir.back() == '/' ? outDir : outDir + "/";
  std::vector<char> buffer(EXTRACT_BUFFER_SIZE);
  progress.SetLabel(1, "Opening INITGAME.DAT flex file...");
  progress.ProcessEvents();
  {
    TFlexReader reader(ResolvePath(gameDir, "STATIC/INITGAME.DAT"));
    progress.ProcessEvents();
    do {
      progress.SetLabel(2, "Searching for entries...");
      const int32_t size = reader.EntrySize();
      if (size != 0) {
        progress.SetLabel(1, "Reading INITGAME.DAT flex file..");
        progress.SetLabel(2, "Reading entry...");
        progress.ProcessEvents();
        std::string oversized;
        const char* data = buffer.data();
        if (size > EXTRACT_BUFFER_SIZE) {
          oversized = reader.ReadEntry();  // an entry of its own size
          data = oversized.data();
        } else {
          reader.ReadEntry(buffer.data());
        }
        const std::size_t n = static_cast<std::size_t>(size);
        const std::string name = EntryFileName(std::string(data, n < 13 ? n : 13));
        if (!IsUsableFileName(name)) {
          ConsoleLine("INITGAME.DAT entry# " + std::to_string(reader.EntryIndex()) +
                      " has no usable file name, not extracted");
        } else {
          const std::string path = dir + name;
          progress.SetLabel(3, "Writing " + path + "...");
          progress.ProcessEvents();
          // An old file or link of that name is removed first: a link is never followed out
          // of the directory, and a fresh file avoids the flush that truncation costs.
          std::error_code ec;
          const auto old = std::filesystem::symlink_status(path, ec).type();
          if (old == std::filesystem::file_type::regular ||
              old == std::filesystem::file_type::symlink)
            std::filesystem::remove(path, ec);
          TBinaryFile out = TBinaryFile::Create(path);
          if (n > EXTRACT_NAME_SIZE) out.Write(data + EXTRACT_NAME_SIZE, n - EXTRACT_NAME_SIZE);
          out.Close();
          progress.SetLabel(3, "Wrote " + path);
        }
      }
      progress.ProcessEvents();
    } while (reader.NextEntry());
    progress.SetLabel(1, "Closing flex file..");
    progress.SetLabel(2, "");
    progress.SetLabel(3, "Done.");
    progress.ProcessEvents();
  }
  progress.SetLabel(1, "");
}

}  // namespace zq
