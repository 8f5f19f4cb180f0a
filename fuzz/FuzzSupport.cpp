#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "platform/Console.h"
#include "tools/mkworld/WorldGen.h"
#include "world/Installation.h"
#include "world/ZQObjects.h"

namespace zq::fuzz {
namespace fs = std::filesystem;

namespace {

std::string g_scratch;

void RemoveScratch() {
  std::error_code ec;
  if (!g_scratch.empty()) fs::remove_all(g_scratch, ec);
}

}  // namespace

void Require(bool ok, const char* property) {
  if (ok) return;
  std::fprintf(stderr, "fuzz: property broken: %s\n", property);
  std::abort();
}

const std::string& ScratchDir() {
  if (g_scratch.empty()) {
    std::string pattern = (fs::temp_directory_path() / "zqfuzz-XXXXXX").string();
    Require(mkdtemp(pattern.data()) != nullptr, "scratch directory created");
    g_scratch = pattern;
    std::atexit(RemoveScratch);
  }
  return g_scratch;
}

void WriteBytes(const std::string& path, const uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  Require(static_cast<bool>(out), "scratch file written");
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  WriteBytes(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string WriteInput(const std::string& name, const uint8_t* data, std::size_t size) {
  const std::string path = ScratchDir() + "/" + name;
  WriteBytes(path, data, size);
  return path;
}

const std::string& SuperchunkLinksDir(const std::string& base) {
  static std::map<std::string, std::string> made;
  std::string& dir = made[base];
  if (dir.empty()) {
    dir = ScratchDir() + "/" + base + "/";
    fs::create_directory(dir);
    for (int n = 0; n < SUPERCHUNK_FILES; ++n)
      fs::create_symlink("input", SuperchunkFileName(dir + base, n));
  }
  return dir;
}

const std::string& GeneratedFile(const std::string& rel) {
  static const std::map<std::string, std::string> files = [] {
    std::map<std::string, std::string> out;
    for (auto& f : mkworld::BuildInstallation()) out[f.path] = std::move(f.bytes);
    return out;
  }();
  auto it = files.find(rel);
  Require(it != files.end(), "generated file exists");
  return it->second;
}

const std::string& GeneratedGameDir() {
  static const std::string dir = [] {
    std::string game = ScratchDir() + "/generated";
    mkworld::WriteInstallation(game);
    return game;
  }();
  return dir;
}

std::string GeneratedDataFile(const std::string& name) {
  static const std::string data = [] {
    const std::string dir = ScratchDir() + "/unpacked";
    fs::create_directory(dir);
    fs::create_directory_symlink(GeneratedGameDir() + "/STATIC", dir + "/STATIC");
    TNullProgress progress;
    return BuildDataDirectory(dir, progress);
  }();
  std::ifstream in(data + name, std::ios::binary);
  Require(static_cast<bool>(in), "unpacked file exists");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void QuietConsole() {
  static auto capture = std::make_unique<ConsoleCapture>();
  capture->Clear();
}

}  // namespace zq::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = std::getenv("ZQ_FUZZ_SEEDS");
  if (dir == nullptr) return 0;
  std::vector<std::string> seeds = FuzzSeeds();
  for (std::size_t i = 0; i < seeds.size(); ++i)
    zq::fuzz::WriteBytes(std::string(dir) + "/seed-" + std::to_string(i), seeds[i]);
  std::printf("wrote %zu seeds to %s\n", seeds.size(), dir);
  std::exit(0);
}
