// The four uses of the converter libraries and what each leaves loaded.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "formats/SflFile.h"
#include "service/Converters.h"
#include "tests/converters/HexText.h"
#include "tests/service/LibraryFolders.h"
#include "tests/support/TempDir.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

// A folder where the stand-in answers to both names.
fs::path DecoyFolder(const test::TempDir& dir) {
  const fs::path folder = dir.path() / "decoy";
  test::Place(folder, TARVEL_DECOY_LIBRARY, kHexConverterLibrary);
  test::Place(folder, TARVEL_DECOY_LIBRARY, kFlashConverterLibrary);
  return folder;
}

TEST(ConvertersTest, TheProbeTellsWhichConvertersCanWork) {
  test::TempDir dir;
  const ConverterPresence real = ProbeConverters(test::RealConverters());
  EXPECT_TRUE(real.hexToSfl);
  EXPECT_TRUE(real.flashImage);
  const ConverterPresence none = ProbeConverters(test::Only(dir.path()));
  EXPECT_FALSE(none.hexToSfl);
  EXPECT_FALSE(none.flashImage);
  // The stand-in has Velmar_Prc but no Oxbrin_Prc.
  const ConverterPresence decoy = ProbeConverters(test::Only(DecoyFolder(dir)));
  EXPECT_TRUE(decoy.hexToSfl);
  EXPECT_FALSE(decoy.flashImage);
  EXPECT_FALSE(test::IsLoaded((dir.path() / "decoy" / kHexConverterLibrary).string()));
  EXPECT_FALSE(test::IsLoaded((dir.path() / "decoy" / kFlashConverterLibrary).string()));
}

TEST(ConvertersTest, VersionTextsAreReadAfreshAndANullTextIsEmpty) {
  test::TempDir dir;
  const ConverterVersionTexts real = ConverterVersions(test::RealConverters());
  EXPECT_EQ(real.hexToSfl, "Tesmol 1.00");
  EXPECT_EQ(real.flashImage, "Oxbrin 1.00");
  const ConverterVersionTexts none = ConverterVersions(test::Only(dir.path()));
  EXPECT_FALSE(none.hexToSfl);
  EXPECT_FALSE(none.flashImage);
  const ConverterVersionTexts decoy = ConverterVersions(test::Only(DecoyFolder(dir)));
  EXPECT_EQ(decoy.hexToSfl, "Decoy 9.99");
  EXPECT_EQ(decoy.flashImage, "");
  // Only the flash converter is present now.
  fs::remove(dir.path() / "decoy" / kHexConverterLibrary);
  const ConverterVersionTexts half = ConverterVersions(test::Only(dir.path() / "decoy"));
  EXPECT_FALSE(half.hexToSfl);
  EXPECT_EQ(half.flashImage, "");
}

TEST(ConvertersTest, AConversionLoadsCallsAndUnloads) {
  test::TempDir dir;
  const std::string copy = test::Place(dir.path() / "lib", test::RealLibrary(kHexConverterLibrary), kHexConverterLibrary);
  HexConversion conversion;
  conversion.hexPath = dir.write("fw.hex", test::LinearHex({{0, test::Bytes(0x200, 1)}}));
  conversion.sflName = "fw.sfl";
  conversion.firstBlock = 0;
  conversion.lastBlock = 3;

  ConversionResult result = ConvertHexToSfl(conversion, test::Only(dir.path() / "lib"));
  EXPECT_TRUE(result.succeeded) << result.reason;
  EXPECT_TRUE(result.converterFound);
  EXPECT_EQ(fs::file_size(dir.path() / "fw.sfl"), kSflHeaderBytes + 4 * kSflRecordBytes);
  EXPECT_FALSE(test::IsLoaded(copy));

  // The converter's reason comes along with its refusal.
  conversion.firstBlock = 4;
  result = ConvertHexToSfl(conversion, test::Only(dir.path() / "lib"));
  EXPECT_FALSE(result.succeeded);
  EXPECT_TRUE(result.converterFound);
  EXPECT_NE(result.reason.find("lies above the last block"), std::string::npos) << result.reason;
  EXPECT_FALSE(test::IsLoaded(copy));

  // A converter without Velmar_LastError just gives no reason.
  conversion.productName = "fail";
  result = ConvertHexToSfl(conversion, test::Only(DecoyFolder(dir)));
  EXPECT_FALSE(result.succeeded);
  EXPECT_TRUE(result.converterFound);
  EXPECT_EQ(result.reason, "");

  result = ConvertHexToSfl(conversion, test::Only(dir.path() / "nowhere"));
  EXPECT_FALSE(result.succeeded);
  EXPECT_FALSE(result.converterFound);
  EXPECT_NE(result.reason.find("libtesmol.so not found"), std::string::npos) << result.reason;
}

TEST(ConvertersTest, TheFlashConverterStaysLoadedAfterARead) {
  test::TempDir dir;
  const std::string copy =
      test::Place(dir.path() / "lib", test::RealLibrary(kFlashConverterLibrary), kFlashConverterLibrary);
  const std::string output = dir.write("dump.sfl", "");
  {
    FlashImageConverter converter(test::Only(dir.path() / "lib"));
    ASSERT_TRUE(converter.available()) << converter.error();
    std::array<std::uint8_t, kFlashBlockRecordBytes> record{};
    for (std::uint8_t block = 0; block < 3; ++block) {
      record[1] = block;
      record[2] = block;
      EXPECT_NE(converter.addBlock(output, record), 0);
    }
    EXPECT_EQ(converter.addBlock((dir.path() / "missing" / "x.sfl").string(), record), 0);
  }
  EXPECT_EQ(fs::file_size(output), kSflHeaderBytes + 3 * kSflRecordBytes);
  EXPECT_TRUE(test::IsLoaded(copy));
  // The next read finds the same library and keeps it.
  FlashImageConverter again(test::Only(dir.path() / "lib"));
  EXPECT_TRUE(again.available());
}

TEST(ConvertersTest, AFlashConverterThatCannotWorkIsNotAvailable) {
  test::TempDir dir;
  std::array<std::uint8_t, kFlashBlockRecordBytes> record{};
  FlashImageConverter missing(test::Only(dir.path()));
  EXPECT_FALSE(missing.available());
  EXPECT_NE(missing.error().find("liboxbrin.so not found"), std::string::npos) << missing.error();
  EXPECT_EQ(missing.addBlock(dir.write("dump.sfl", ""), record), 0);
  FlashImageConverter decoy(test::Only(DecoyFolder(dir)));
  EXPECT_FALSE(decoy.available());
  EXPECT_NE(decoy.error().find("lacks Oxbrin_Prc"), std::string::npos) << decoy.error();
  EXPECT_EQ(fs::file_size(dir.path() / "dump.sfl"), 0u);
}

}  // namespace
}  // namespace tarvel
