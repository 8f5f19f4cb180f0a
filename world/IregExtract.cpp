#include "world/IregExtract.h"

#include <cstdio>
#include <vector>

#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "world/FlexRead.h"

namespace zq {

void TConsoleProgress::SetLabel(int label, const std::string& text) {
  if (text.empty() || text == " ") return;
  ConsoleLine(TLogLevel::Info, "[" + std::to_string(label) + "] " + text);
}

std::string EntryFileName(const std::string& entry) {
  const std::size_t field = entry.size() < EXTRACT_NAME_SIZE ? entry.size() : EXTRACT_NAME_SIZE;
  const std::size_t end = entry.find('\0');
  return entry.substr(0, end < field ? end : field);
}

bool IsUsableFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

namespace {

// The name as it can be shown: control bytes as \xNN.
std::string Printable(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

void ExtractInitGame(const std::string& gameDir, const std::string& outDir,
                     IExtractProgress& progress) {
  std::vector<char> buffer(EXTRACT_BUFFER_SIZE);
  progress.SetLabel(1, "Opening INITGAME.DAT flex file...");
  progress.ProcessEvents();
  {
    TFlexReader reader(ResolvePath(gameDir, "STATIC/INITGAME.DAT"));
    TDirectory dir = TDirectory::Open(outDir);
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
        if (!IsUsableFileName(name))
          throw EInOutError("INITGAME.DAT entry# " + std::to_string(reader.EntryIndex()) +
                            " has the file name '" + Printable(name) +
                            "', which is not a plain file name: nothing extracted from it");
        const std::string path = dir.Path() + name;
        progress.SetLabel(3, "Writing " + path + "...");
        progress.ProcessEvents();
        TBinaryFile out = dir.CreateFile(name);
        if (n > EXTRACT_NAME_SIZE) out.Write(data + EXTRACT_NAME_SIZE, n - EXTRACT_NAME_SIZE);
        out.Close();
        progress.SetLabel(3, "Wrote " + path);
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
