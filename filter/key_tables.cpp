// Constant key tables of the job parameter string and their lookups.
#include "key_tables.h"

#include "job_parameter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

static constexpr std::array<const char *, 41> kPpdTextKeys = {
    "QZTblFormat", "QZTblInputSlot", "QZTblDuplex", "QZTblOutputBin",
    "QZTblSubstitute", "QZTblMediaType", "QZModelMethod", "QZMaxBoxNum",
    "QZMaxDocStr", "QZTblOutputPartition", "QZMaxCopies", "QZMaxGutter",
    "QZRegistSocket", "QZUIOffsetMax", "QZShiftStartPrintPosType",
    "QZShiftPositionMin", "QZShiftPositionMax", "QZMINGutterShiftNum",
    "QZMAXGutterShiftNum", "QZDefaultGutterShiftNum", "QZUITrimValMin",
    "QZUITrimValMax", "QZUIAdjustTrimNumDefault", "QZ_Prot_InputTray",
    "QZ_Prot_MediaType", "QZ_Prot_MediaType_1", "QZ_Prot_MediaType_2",
    "QZ_Prot_MediaType_3", "QZ_Prot_MediaType_4",
    "QZ_Prot_OutputBin_None_None_None", "QZ_Prot_CommonFlag",
    "QZ_Prot_JobScriptFlag", "QZ_Prot_BinderScriptFlag",
    "QZ_Prot_DocumentScriptFlag", "QZ_Prot_CJLScriptFlag", "QZDriverRootPath",
    "QZ_PdlWrapper_ProtocolPath", "QZ_PdlWrapper_PdlPath", "QZPDLType",
    "QZ_PdlWrapper_DebugMode", "QZ_Filter_DebugMode",
};

static constexpr std::array<const char *, 120> kMarkedChoiceKeys = {
    "PageSize", "MediaType", "InputSlot", "QZInserter", "Duplex", "BookLet",
    "BindEdge", "StapleLocation", "QZPunch", "QZPunchLocation",
    "QZOutputPartition", "QZPureBlackProcess", "QZJobExecMode",
    "QZSaddleStitch", "QZZfolding", "QZTrimming", "QZTrimmingValue",
    "QZRotatePrint", "QZShiftPrint", "OutputBin", "Resolution",
    "QZTonerSaving", "QZColorMode", "QZBlackSubstitute", "QZColorMatchingMode",
    "QZOutputFace", "QZCopySetNumbering", "QZInterleafSheet",
    "QZInterleafMediaType", "QZInterleafPrint", "QZImageRefinement",
    "QZGradationSmoothing", "QZLineRefinement", "QZRGBPureBlackProcess",
    "QZPureBlackText", "QZBlackOverprint", "QZRGBMatchingMethod",
    "QZRGBSourceProfile", "QZCMYKSimulationProfile", "QZUseGrayScaleProfile",
    "QZOutputProfile", "QZSetFrontSheet", "QZFrontPrintOn", "QZFrontPaperSrc",
    "QZSetBackSheet", "QZBackPrintOn", "QZBackPaperSrc", "QZAdvancedSmoothing",
    "QZOHPPrintMode", "QZSpotColorMatching", "QZFinisher",
    "QZShiftStartPrintPosition", "QZSharpness", "QZImageCompression",
    "QZCreep", "QZDisplacementCorrection", "QZAdjustTrim", "QZCfolding",
    "QZCfoldSetting", "QZTrustPrint", "QZLineControl",
    "QZTonerVolumeAdjustment", "QZHalftone", "QZBackPaperPrint",
    "QZColorHalftone", "QZImageSpecialProcess", "QZDraftMode",
    "QZSpecialPrintMode", "QZSmallSizeCurl", "QZSpecialPrintAdjustmentA",
    "QZSpecialPrintAdjustmentB", "QZSpecialSmooth", "QZGlossyPlainPaperProc",
    "QZMultiPunch", "QZHalfFolding", "QZAccordionZfolding",
    "QZDoubleParallelFolding", "QZHalfFoldSetting", "QZAccordionZfoldSetting",
    "QZDoubleParallelFoldSetting", "QZVfolding", "QZTonerDensity",
    "QZCTonerDensity", "QZMTonerDensity", "QZYTonerDensity",
    "QZPlainPaperCurlCorrect", "QZMonitorProfile", "QZMatchingMethod",
    "QZOutputAdjustment", "QZSpecialPrintAdjustment", "QZNumberOfColors",
    "QZColorToUseWithBlack", "QZBarCodeMode", "QZFeedAFiveVertically",
    "QZHyperSharpness", "QZUseCSModeJobAccount", "QZUseCSModeSecured",
    "QZWidthAdjustment", "QZOptimizeImageComp", "QZColorTonerVolumeAdjustment",
    "QZImprovePrintSpeed", "QZSpecialPrintAdjustmentC",
    "QZSpecifyNumOfCopiesStack", "QZTimingOfAutoEjectStacker",
    "QZSaddleFolding", "QZSaddleFoldSetting", "QZSaddleFoldSheetsNum",
    "QZ_PdlWrapper_DebugMode", "QZEncodeType", "QZKeepGray", "QZGutter",
    "QZTonerDensityAdjustment", "QZStaple", "QZUseRotation", "QZUseShift",
    "QZUseStaple", "QZUseEcoStaple", "QZUseColorantDensity",
    "QZColorantDensity", "QZPrioritizeLineText",
};

static constexpr std::array<const char *, 24> kPassOptionKeys = {
    "QZCopies", "QZBindEdgeShift", "QZJobAccount", "QZSecuredPrint",
    "QZHoldPrint", "QZMailBox", "QZBookletShift", "QZDocName", "QZUsrName",
    "QZProofPrint", "number-up", "QZStartingNumber",
    "QZDisableJobAccountingBW", "QZUserAuthentication", "QZOffsetNum",
    "QZShiftFrShortEdge", "QZShiftFrLongEdge", "QZShiftBkShortEdge",
    "QZShiftBkLongEdge", "QZJobNote", "QZJobDetails", "QZGutterShiftNum",
    "QZAdjustTrimNum", "QZPDEUserName",
};

static constexpr std::array<const char *, 7> kDecimalOptionKeys = {
    "QZBindEdgeShift", "QZShiftFrShortEdge", "QZShiftFrLongEdge",
    "QZShiftBkShortEdge", "QZShiftBkLongEdge", "QZGutterShiftNum",
    "QZAdjustTrimNum",
};

static constexpr std::array<const char *, 4> kUserArgumentKeys = {
    "QZUsrName", "QZJobUser", "QZPDEUserName", "QZHomeUser",
};

// A short initializer would leave null rows behind; refuse it at compile time.
template <std::size_t N>
constexpr bool allRowsSet(const std::array<const char *, N> &table) {
  for (const char *row : table)
    if (row == nullptr)
      return false;
  return true;
}
static_assert(allRowsSet(kPpdTextKeys));
static_assert(allRowsSet(kMarkedChoiceKeys));
static_assert(allRowsSet(kPassOptionKeys));
static_assert(allRowsSet(kDecimalOptionKeys));
static_assert(allRowsSet(kUserArgumentKeys));

// The PPD text keys sorted, so the text pass finds a key (or its absence)
// in a handful of comparisons on every keyword line of a large PPD.
static constexpr auto kSortedPpdTextKeys = [] {
  std::array<std::string_view, kPpdTextKeys.size()> sorted{};
  std::copy(kPpdTextKeys.begin(), kPpdTextKeys.end(), sorted.begin());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}();

struct OptionRename {
  const char *option; // job option name
  const char *key;    // parameter key it goes out under
};

static constexpr std::array<OptionRename, 1> kOptionRenames = {{
    {"Collate", "QZCollate"},
}};

} // namespace

// 'ppdTextKeys()' - Keys taken from the PPD text.
std::span<const char *const> ppdTextKeys() { return kPpdTextKeys; }

// 'markedChoiceKeys()' - PPD keywords whose marked choice is passed on.
std::span<const char *const> markedChoiceKeys() { return kMarkedChoiceKeys; }

// 'passOptionKeys()' - Job options passed on under their own names.
std::span<const char *const> passOptionKeys() { return kPassOptionKeys; }

// 'decimalOptionKeys()' - Job options whose decimal separator is adapted.
std::span<const char *const> decimalOptionKeys() { return kDecimalOptionKeys; }

// 'userArgumentKeys()' - Keys of the user name argument.
std::span<const char *const> userArgumentKeys() { return kUserArgumentKeys; }

// 'isPpdTextKey()' - Whether name (I) is one of the PPD text keys, exact case.
bool isPpdTextKey(const char *name) {
  if (name == nullptr)
    return false;
  return std::binary_search(kSortedPpdTextKeys.begin(), kSortedPpdTextKeys.end(),
                            std::string_view(name));
}

// 'keyTableHas()' - Whether name (I) is a row of table (I), exact case.
bool keyTableHas(std::span<const char *const> table, const char *name) {
  if (name == nullptr)
    return false;
  for (const char *row : table)
    if (std::strcmp(row, name) == 0)
      return true;
  return false;
}

// 'renameOption()' - Parameter key for a job option passed on under another name.
const char *renameOption(const char *name) {
  if (name == nullptr)
    return nullptr;
  for (const OptionRename &row : kOptionRenames)
    if (std::strcmp(row.option, name) == 0)
      return row.key;
  return nullptr;
}
