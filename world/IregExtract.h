// The initial-game extraction: every non-empty entry of STATIC/INITGAME.DAT (a 13-byte name
// field, then the content) becomes a file of that name in the output directory. Progress goes
// to three label lines through IExtractProgress, which a window implements; headless users
// take TNullProgress or TConsoleProgress. Runs on the main thread.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

constexpr int32_t EXTRACT_BUFFER_SIZE = 1000014;
constexpr int32_t EXTRACT_NAME_SIZE = 13;

class IExtractProgress {
 public:
  virtual ~IExtractProgress() = default;
  // Sets the text of label 1, 2 or 3.
  virtual void SetLabel(int label, const std::string& text) = 0;
  // Lets pending window events run.
  virtual void ProcessEvents() = 0;
};

class TNullProgress : public IExtractProgress {
 public:
  void SetLabel(int, const std::string&) override {}
  void ProcessEvents() override {}
};

// Writes each non-empty label text as a console line.
class TConsoleProgress : public IExtractProgress {
 public:
  void SetLabel(int label, const std::string& text) override;
  void ProcessEvents() override {}
};

// The file name held in an entry's name field: its bytes up to the first zero, at most 13.
std::string EntryFileName(const std::string& entry);
// False for names that would not land as one file inside the output directory: empty, ".",
// "..", or holding "/", "\" or a zero byte.
bool IsUsableFileName(const std::string& name);

// The extraction (Button1Click): opens ResolvePath(gameDir, "STATIC/INITGAME.DAT") and writes
// each non-empty entry to outDir + name, replacing any file of that name (never following a
// link). Raises EInOutError naming the file when the container cannot be read or a file
// written, and naming the entry when its name is not usable; files written before stay.
void ExtractInitGame(const std::string& gameDir, const std::string& outDir,
                     IExtractProgress& progress);

}  // namespace zq
