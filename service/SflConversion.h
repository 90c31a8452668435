// The HEX-to-SFL command after its dialog: the START and END texts stored,
// turned into block numbers, one call of the converter, the outcome shown.
// The window supplies the dialog, the settings file and the wait cursor;
// tarvel-cli supplies its options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/MessageDisplay.h"
#include "formats/IntelHex.h"
#include "service/ConverterLibrary.h"

namespace tarvel {

// A START, END or End Block text as a block number, 0 to 0xFFF. The text is
// read as hex digits from its first character, at most three of them; the
// first character that is not a hex digit ('.', a blank, the end of the
// text) ends the number, and what follows is ignored. So "3FF" is 0x3FF,
// "0ff" 0x0FF, "1F" 0x01F, "7" 0x007, "1.F" 0x001, and "", "." and ".5"
// are 0. Characters after the third are ignored ("1234" is 0x123).
std::uint16_t ParseBlockText(std::string_view text);

// The output name the dialog proposes for a chosen file: the file name
// without its folder and without its extension (the last '.' and what
// follows), then ".sfl"; empty when nothing is left. fw.hex gives fw.sfl,
// data gives data.sfl.
std::string DefaultSflName(std::string_view hexFileName);

// Where the HEX file holds data outside blocks firstBlock..lastBlock, which
// a conversion of that range drops: ascending, adjacent ranges joined.
// Nothing when the file cannot be read or is not valid (the conversion then
// says why).
std::vector<AddressRange> HexDataOutsideBlocks(const std::string& hexPath, std::uint16_t firstBlock,
                                               std::uint16_t lastBlock);

// The texts of the converter panel, as typed.
struct SflConvTexts {
  std::string sflName;
  std::string startBlock;
  std::string endBlock;
  std::string productName;
  std::string firmVersion;
};

// What the front end does around the call.
class SflConvUi {
 public:
  virtual ~SflConvUi() = default;
  // The START and END texts, as typed, to the settings file ("SFL",
  // "Start" and "End"). Called before the conversion, whatever its outcome.
  virtual void storeBlockTexts(const std::string& startText, const std::string& endText) = 0;
  // Around the converter's call: the window redraws at once and shows the
  // wait cursor, then restores the cursor before the message.
  virtual void beginWait() {}
  virtual void endWait() {}
  // The SFL file `path` exists: true to replace it. Asked before the
  // converter runs; false leaves the file as it was and shows nothing.
  virtual bool replaceExisting(const std::string& path) = 0;
};

// Where the converter writes `sflName`: a name without a folder beside the
// HEX file.
std::string SflOutputPath(const std::string& hexPath, const std::string& sflName);

// The output the conversion would replace: SflOutputPath when something
// has that name already (a link counts too, the converter would replace
// what it names); none for an empty name, which the converter refuses.
// Asked by the dialogs before they close and by the command itself.
std::optional<std::string> ExistingSflOutput(const std::string& hexPath, const std::string& sflName);

// Runs the command once the dialog was confirmed with `hexPath` chosen.
// Nothing is checked before the call: an empty name or a reversed range go
// to the converter as given, which refuses them. Shows 57346 (information)
// or 57345 (stop, with the reason as detail). True on success: the caller
// then reloads the catalog.
bool RunSflConversion(const std::string& hexPath, const SflConvTexts& texts, SflConvUi& ui,
                      MessageDisplay& messages, const ConverterSearch& search = ProgramConverterSearch());

}  // namespace tarvel
