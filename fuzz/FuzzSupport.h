// What the fuzz targets share: a scratch directory of the process, the generated installation
// (the seeds come from it, and it supplies the valid files a target does not mutate), a quiet
// console, and the seed hook: run with ZQ_FUZZ_SEEDS=DIR, a target writes its FuzzSeeds() into
// DIR and exits. Everything here aborts on its own failures, which are never the input's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zq::fuzz {

// A directory of this process below $TMPDIR, removed at exit.
const std::string& ScratchDir();

// Writes the bytes to `path`, replacing it.
void WriteBytes(const std::string& path, const uint8_t* data, std::size_t size);
void WriteBytes(const std::string& path, const std::string& bytes);
// Writes the input to the scratch file `name` and returns its path.
std::string WriteInput(const std::string& name, const uint8_t* data, std::size_t size);
// A directory whose 144 files base + "00".."8F" are links to its file "input"; made once.
const std::string& SuperchunkLinksDir(const std::string& base);

// The bytes of the generated installation's file `rel` ("STATIC/ZQMAP", built once).
const std::string& GeneratedFile(const std::string& rel);
// A game directory holding the generated installation, written once, without SRVDAT.
const std::string& GeneratedGameDir();
// The bytes of the file `name` that the first start unpacks into SRVDAT ("ZQIREG00").
std::string GeneratedDataFile(const std::string& name);

// Console lines of the loaders are dropped rather than printed; call once per input.
void QuietConsole();

// Aborts, naming the broken property, unless `ok`.
void Require(bool ok, const char* property);

}  // namespace zq::fuzz

// Each target's seed inputs.
std::vector<std::string> FuzzSeeds();
