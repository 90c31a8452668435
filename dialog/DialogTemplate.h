// The layout of the main dialog and the about box as dialog templates:
// control ids, kinds, template texts and positions in dialog units. The Qt
// and Win32 windows create their widgets from these tables; nothing here
// depends on a window system.
#pragma once

#include <array>

namespace tarvel {

// Controls of the main dialog.
inline constexpr int IDC_WRITE = 1000;
inline constexpr int IDC_BROWSE = 1001;
inline constexpr int IDC_SFL_CONV = 1002;
inline constexpr int IDC_PROGRESS = 1003;
inline constexpr int IDC_PORT = 1004;
inline constexpr int IDC_BAUD = 1005;
inline constexpr int IDC_FILE_LIST = 1007;
inline constexpr int IDC_COMMENT = 1008;
inline constexpr int IDC_RELOAD = 1009;
inline constexpr int IDC_VERSION = 1013;
inline constexpr int IDC_CLOSE = 1016;
inline constexpr int IDC_LINE_GROUP = 1018;
inline constexpr int IDC_CHECK_5V = 1019;
inline constexpr int IDC_CHECK_MD = 1020;
inline constexpr int IDC_BANNER = 1023;
inline constexpr int IDC_TYPE0 = 1024;
inline constexpr int IDC_TYPE1 = 1025;
inline constexpr int IDC_CABLE = 1026;
inline constexpr int IDC_STATUS_TEXT = 1027;
inline constexpr int IDC_DUMP = 1028;
inline constexpr int IDC_PORT_HINT = 1030;
// Fields of the converter file dialogs' panels.
inline constexpr int IDC_SFL_START = 1010;
inline constexpr int IDC_SFL_END = 1011;
inline constexpr int IDC_SFL_NAME = 1012;
inline constexpr int IDC_PRODUCT_NAME = 1014;
inline constexpr int IDC_FIRM_VERSION = 1015;
inline constexpr int IDC_DUMP_END_BLOCK = 1029;
// Controls of the about box.
inline constexpr int IDC_ABOUT_CONVERTER = 1021;
inline constexpr int IDC_ABOUT_LOADER = 1022;
#ifndef IDOK  // windows.h has its own
inline constexpr int IDOK = 1;
#endif
// A control without an id of its own (frames, labels).
inline constexpr int IDC_STATIC = -1;

enum class ControlKind {
  Edit,         // single line, border, tab stop, scrolls sideways
  ListView,     // report view with column headers
  CommentEdit,  // multi-line, read-only, vertical scroll bar
  PushButton,
  DefPushButton,
  GroupBox,
  TextLeft,   // static text, left-aligned
  TextRight,  // static text, right-aligned
  ProgressBar,
  ComboBox,     // drop-down with an edit field
  RadioButton,  // automatic
  CheckBox,     // automatic
  Picture,      // static picture
  Placeholder,  // hidden static picture: only its rectangle is used
  Icon,         // the application icon
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  int x, y, cx, cy;  // dialog units
};

// Main dialog: 391 x 201 dialog units, "Times New Roman" 10 pt. The order is
// the creation and tab order.
inline constexpr int kMainDialogWidthDlu = 391;
inline constexpr int kMainDialogHeightDlu = 201;
inline constexpr const char* kMainDialogFont = "Times New Roman";
inline constexpr int kMainDialogFontPt = 10;

inline constexpr std::array<ControlTemplate, 22> kMainDialogControls{{
    {IDC_FILE_LIST, ControlKind::ListView, "", 5, 7, 229, 85},
    {IDC_COMMENT, ControlKind::CommentEdit, "", 5, 97, 229, 86},
    {IDC_RELOAD, ControlKind::PushButton, "Re&load", 239, 7, 50, 14},
    {IDC_BROWSE, ControlKind::PushButton, "&Browse...", 239, 24, 50, 14},
    {IDC_SFL_CONV, ControlKind::PushButton, "&SFL Conv...", 239, 97, 44, 20},
    {IDC_DUMP, ControlKind::PushButton, "&Dump...", 286, 97, 44, 20},
    {IDC_STATIC, ControlKind::GroupBox, "", 238, 119, 147, 64},
    {IDC_WRITE, ControlKind::PushButton, "&WRITE", 242, 134, 44, 39},
    {IDC_STATUS_TEXT, ControlKind::TextLeft, "Writing...", 293, 134, 30, 8},
    {IDC_PROGRESS, ControlKind::ProgressBar, "Progress1", 289, 145, 92, 27},
    {IDC_PORT, ControlKind::ComboBox, "", 299, 7, 41, 58},
    {IDC_BAUD, ControlKind::ComboBox, "", 343, 7, 42, 71},
    {IDC_TYPE0, ControlKind::RadioButton, "QAP-8", 350, 26, 35, 10},
    {IDC_TYPE1, ControlKind::RadioButton, "QAP-10", 350, 36, 35, 10},
    {IDC_CABLE, ControlKind::Picture, "", 330, 38, 16, 7},
    {IDC_VERSION, ControlKind::TextRight, "version", 316, 53, 69, 8},
    {IDC_BANNER, ControlKind::Placeholder, "", 299, 63, 86, 10},
    {IDC_CLOSE, ControlKind::PushButton, "Cl&ose", 335, 76, 50, 14},
    {IDC_LINE_GROUP, ControlKind::GroupBox, "", 332, 94, 53, 23},
    {IDC_CHECK_5V, ControlKind::CheckBox, "+5V", 335, 102, 23, 11},
    {IDC_CHECK_MD, ControlKind::CheckBox, "MD", 359, 102, 24, 11},
    // Why the port box is empty, in two lines below Browse: the box's own
    // field is a few characters wide.
    {IDC_PORT_HINT, ControlKind::TextLeft, "", 239, 40, 72, 18},
}};

// The lists the two combo boxes start with.
inline constexpr std::array<const char*, 4> kInitialPortEntries{"COM1", "COM2", "COM3", "COM4"};

// About box: 235 x 68 dialog units, "Times New Roman" 8 pt.
inline constexpr int kAboutWidthDlu = 235;
inline constexpr int kAboutHeightDlu = 68;
inline constexpr int kAboutFontPt = 8;

inline constexpr std::array<ControlTemplate, 7> kAboutControls{{
    {IDC_STATIC, ControlKind::Icon, "", 11, 17, 21, 20},
    {IDC_VERSION, ControlKind::TextLeft, "Main Version", 86, 7, 73, 8},
    {IDC_ABOUT_CONVERTER, ControlKind::TextLeft, "SFL Converter Version", 61, 23, 109, 8},
    {IDC_ABOUT_LOADER, ControlKind::TextLeft, "Flash Loader Version", 61, 32, 109, 8},
    {IDC_STATIC, ControlKind::TextLeft, "Serial flash writer for QAP-8 and QAP-10 cables", 49, 44, 150, 8},
    {IDC_STATIC, ControlKind::TextLeft, "(C) Tarvel", 84, 53, 61, 8},
    {IDOK, ControlKind::DefPushButton, "OK", 178, 7, 50, 14},
}};

// The folder chooser of "&Browse...".
inline constexpr const char* kBrowseTitle = "Please select the SFL file folder.";

// The converter file dialogs: an open dialog with the converter panel and a
// save dialog with the End Block panel. Their panels use "Times New Roman"
// 9 pt; the filters list one pattern each.
inline constexpr int kPanelFontPt = 9;
inline constexpr const char* kSflConvTitle = "SFL File Converter";
inline constexpr const char* kSflConvAcceptLabel = "&Convert";
inline constexpr std::array<const char*, 2> kHexFilters{"HEX File (*.hex)", "All Files (*)"};
inline constexpr const char* kDumpTitle = "Flash Extraction";
inline constexpr const char* kDumpDefaultName = "Untitled.sfl";
inline constexpr const char* kDumpDefaultEndBlock = "3FF";
inline constexpr std::array<const char*, 2> kSflFilters{"SFL File (*.sfl)", "All Files (*)"};

// The text limits of the panels' fields, in characters.
inline constexpr int kBlockTextMaxChars = 3;
inline constexpr int kSflNameMaxChars = 128;
inline constexpr int kCommentValueMaxChars = 30;

// End Block panel: 249 x 16 dialog units.
inline constexpr int kEndBlockPanelWidthDlu = 249;
inline constexpr int kEndBlockPanelHeightDlu = 16;
inline constexpr std::array<ControlTemplate, 2> kEndBlockPanelControls{{
    {IDC_STATIC, ControlKind::TextLeft, "End &Block:", 20, 4, 34, 8},
    {IDC_DUMP_END_BLOCK, ControlKind::Edit, "", 66, 2, 22, 12},
}};

// Converter panel: 248 x 83 dialog units. Each label gives its access key
// to the field after it.
inline constexpr int kConverterPanelWidthDlu = 248;
inline constexpr int kConverterPanelHeightDlu = 83;
inline constexpr std::array<ControlTemplate, 12> kConverterPanelControls{{
    {IDC_STATIC, ControlKind::TextLeft, "&Output SFL File Name:", 6, 11, 67, 8},
    {IDC_SFL_NAME, ControlKind::Edit, "", 77, 9, 163, 12},
    {IDC_STATIC, ControlKind::GroupBox, "Block", 6, 29, 60, 47},
    {IDC_STATIC, ControlKind::TextLeft, "&START", 16, 42, 23, 8},
    {IDC_SFL_START, ControlKind::Edit, "", 40, 40, 19, 12},
    {IDC_STATIC, ControlKind::TextLeft, "&END", 23, 61, 15, 8},
    {IDC_SFL_END, ControlKind::Edit, "", 40, 59, 19, 12},
    {IDC_STATIC, ControlKind::GroupBox, "Comment", 73, 29, 167, 47},
    {IDC_STATIC, ControlKind::TextLeft, "[&Product Name]", 78, 41, 45, 8},
    {IDC_PRODUCT_NAME, ControlKind::Edit, "", 127, 39, 109, 12},
    {IDC_STATIC, ControlKind::TextLeft, "[Firm &Version]", 80, 59, 42, 8},
    {IDC_FIRM_VERSION, ControlKind::Edit, "", 127, 58, 109, 12},
}};

}  // namespace tarvel
