#include "world/Shapes.h"

#include <gtest/gtest.h>

#include "platform/Console.h"
#include "tests/world/WorldFiles.h"
#include "world/ShpDims.h"
#include "world/ZQMaps.h"

namespace zq {
namespace {

using test::Flex;
using test::IoErrorOf;
using test::LE32;
using test::WriteFile;

TEST(Shapes, RecordsBlocksAndTheirLimits) {
  test::TempDir dir;
  const std::string sixtyFour = LE32(0x01020304) + std::string(60, 'q');
  std::vector<std::string> e = {"",
                                LE32(10) + "ABCDEF",
                                sixtyFour,
                                LE32(65540) + std::string(65536, 'f'),
                                LE32(65541) + std::string(65537, 'g'),  // entry 4: too big
                                std::string(2049, 'L')};                // no block: too long
  for (int i = 0; i < 150; ++i) e.push_back(std::string(2048, static_cast<char>('a' + i % 20)));
  while (e.size() < 1024 + 4) e.push_back(LE32(8) + "more");  // the last two are too many
  WriteFile(dir / "s.vga", Flex(e));
  ConsoleCapture console;
  TZQShapes shapes(dir / "s.vga");
  EXPECT_EQ(console.Lines()[0], "opened " + dir / "s.vga" + " count=1028");
  EXPECT_EQ(console.Count("entry# 4 is 65541"), 1);
  EXPECT_TRUE(console.Contains("entry# 5 "));    // the 2049-byte entry
  EXPECT_TRUE(console.Contains("entry# 155 "));  // the 151st entry needing a block
  EXPECT_EQ(console.Count("not enough MAXSHAPENUM"), 2);
  EXPECT_EQ(console.Lines().size(), 6u);
  EXPECT_EQ(shapes.ShapeCount(), 1024);
  EXPECT_EQ(shapes.BlockCount(), 150);
  EXPECT_EQ(shapes.Shape(0).Length, 10);
  EXPECT_EQ(shapes.Shape(0).Data, std::string("ABCDEF") + std::string(4, '\0'));
  EXPECT_EQ(shapes.Shape(1).Length, 0x01020304);
  EXPECT_EQ(shapes.Shape(1).Data, std::string(64, '\0'));
  EXPECT_EQ(std::string(shapes.Block(0).begin(), shapes.Block(0).begin() + 64), sixtyFour);
  EXPECT_EQ(shapes.Shape(2).Data.size(), 65540u);
  EXPECT_EQ(shapes.Shape(3).Data, std::string(2049, '\0'));
  EXPECT_EQ(shapes.Block(1)[0], 'a');
  EXPECT_EQ(shapes.Block(149)[2047], 'a' + 148 % 20);

  WriteFile(dir / "neg.vga", test::FlexRaw(1, {{136, -4}}, "xxxx"));
  EXPECT_NE(IoErrorOf([&] { TZQShapes s(dir / "neg.vga"); }).find("neg.vga"), std::string::npos);
}

TEST(ShapeDims, FileSizesFlagsAndExtents) {
  test::TempDir dir;
  std::string bytes(1750, '\0');
  bytes[0] = 1;                    // shape 150 BlocksX
  bytes[2 * (200 - 150) + 1] = 3;  // shape 200 BlocksY (bit 0 only counts)
  bytes[2 * (201 - 150)] = 2;      // bit 1: not a flag
  bytes[1746] = 1;                 // shape 1023 BlocksX
  WriteFile(dir / "long.dat", bytes);
  WriteFile(dir / "short.dat", bytes.substr(0, 1746));
  ShapeDims dims;
  ConsoleCapture console;
  LoadShapeDims(dir / "long.dat", dims);
  EXPECT_EQ(console.Count("DIMS != SHPDIMS"), 1);
  EXPECT_TRUE(BlocksX(dims, 150) && BlocksY(dims, 200) && BlocksX(dims, 1023));
  EXPECT_FALSE(BlocksY(dims, 150) || BlocksX(dims, 200) || BlocksX(dims, 201));
  for (uint16_t s : {0, 149, 1024}) EXPECT_FALSE(BlocksX(dims, s) || BlocksY(dims, s)) << s;
  EXPECT_NE(IoErrorOf([&] { LoadShapeDims(dir / "short.dat", dims); }).find("short.dat"),
            std::string::npos);
  EXPECT_EQ(console.Count("DIMS != SHPDIMS"), 2);

  std::string tfaBytes(3072, '\0');
  tfaBytes[3 * 5 + 2] = static_cast<char>(0xC0 | 3 << 3 | 6);  // x 6, y 3, noise bits 6-7
  tfaBytes[3 * 7 + 1] = 6;                                     // container
  tfaBytes[3 * 8 + 1] = static_cast<char>(0x86);               // bit 7 does not count
  tfaBytes[3 * 9 + 1] = 0x16;
  WriteFile(dir / "TFA.DAT", tfaBytes + "extra");
  WriteFile(dir / "tfashort", tfaBytes.substr(0, 3071));
  TfaTable tfa;
  LoadTfa(dir / "TFA.DAT", tfa);
  EXPECT_EQ(XExtent(tfa, 5), 6);
  EXPECT_EQ(YExtent(tfa, 5), 3);
  for (uint16_t hi : {0, 1024, 0xFC00}) {
    EXPECT_TRUE(IsContainer(tfa, hi + 7) && IsContainer(tfa, hi + 8));
    EXPECT_FALSE(IsContainer(tfa, hi + 9));
  }
  EXPECT_NE(IoErrorOf([&] { LoadTfa(dir / "tfashort", tfa); }).find("tfashort"), std::string::npos);
  EXPECT_EQ(XExtent(tfa, 5), 6);  // a failed load leaves the table alone
}

}  // namespace
}  // namespace zq
