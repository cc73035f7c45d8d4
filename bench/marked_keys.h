// The 120 PPD keywords whose marked choice goes into the job parameter
// string, for the benchmarks' bare libcups calls and generated PPD.
#ifndef TOVEFILT_BENCH_MARKED_KEYS_H
#define TOVEFILT_BENCH_MARKED_KEYS_H

static constexpr const char *kMarkedKeys[] = {
  "PageSize", "MediaType", "InputSlot", "QZInserter", "Duplex", "BookLet", "BindEdge",
  "StapleLocation", "QZPunch", "QZPunchLocation", "QZOutputPartition", "QZPureBlackProcess",
  "QZJobExecMode", "QZSaddleStitch", "QZZfolding", "QZTrimming", "QZTrimmingValue",
  "QZRotatePrint", "QZShiftPrint", "OutputBin", "Resolution", "QZTonerSaving", "QZColorMode",
  "QZBlackSubstitute", "QZColorMatchingMode", "QZOutputFace", "QZCopySetNumbering",
  "QZInterleafSheet", "QZInterleafMediaType", "QZInterleafPrint", "QZImageRefinement",
  "QZGradationSmoothing", "QZLineRefinement", "QZRGBPureBlackProcess", "QZPureBlackText",
  "QZBlackOverprint", "QZRGBMatchingMethod", "QZRGBSourceProfile", "QZCMYKSimulationProfile",
  "QZUseGrayScaleProfile", "QZOutputProfile", "QZSetFrontSheet", "QZFrontPrintOn",
  "QZFrontPaperSrc", "QZSetBackSheet", "QZBackPrintOn", "QZBackPaperSrc", "QZAdvancedSmoothing",
  "QZOHPPrintMode", "QZSpotColorMatching", "QZFinisher", "QZShiftStartPrintPosition",
  "QZSharpness", "QZImageCompression", "QZCreep", "QZDisplacementCorrection", "QZAdjustTrim",
  "QZCfolding", "QZCfoldSetting", "QZTrustPrint", "QZLineControl", "QZTonerVolumeAdjustment",
  "QZHalftone", "QZBackPaperPrint", "QZColorHalftone", "QZImageSpecialProcess", "QZDraftMode",
  "QZSpecialPrintMode", "QZSmallSizeCurl", "QZSpecialPrintAdjustmentA",
  "QZSpecialPrintAdjustmentB", "QZSpecialSmooth", "QZGlossyPlainPaperProc", "QZMultiPunch",
  "QZHalfFolding", "QZAccordionZfolding", "QZDoubleParallelFolding", "QZHalfFoldSetting",
  "QZAccordionZfoldSetting", "QZDoubleParallelFoldSetting", "QZVfolding", "QZTonerDensity",
  "QZCTonerDensity", "QZMTonerDensity", "QZYTonerDensity", "QZPlainPaperCurlCorrect",
  "QZMonitorProfile", "QZMatchingMethod", "QZOutputAdjustment", "QZSpecialPrintAdjustment",
  "QZNumberOfColors", "QZColorToUseWithBlack", "QZBarCodeMode", "QZFeedAFiveVertically",
  "QZHyperSharpness", "QZUseCSModeJobAccount", "QZUseCSModeSecured", "QZWidthAdjustment",
  "QZOptimizeImageComp", "QZColorTonerVolumeAdjustment", "QZImprovePrintSpeed",
  "QZSpecialPrintAdjustmentC", "QZSpecifyNumOfCopiesStack", "QZTimingOfAutoEjectStacker",
  "QZSaddleFolding", "QZSaddleFoldSetting", "QZSaddleFoldSheetsNum", "QZ_PdlWrapper_DebugMode",
  "QZEncodeType", "QZKeepGray", "QZGutter", "QZTonerDensityAdjustment", "QZStaple",
  "QZUseRotation", "QZUseShift", "QZUseStaple", "QZUseEcoStaple", "QZUseColorantDensity",
  "QZColorantDensity", "QZPrioritizeLineText",
};
static_assert(sizeof kMarkedKeys / sizeof kMarkedKeys[0] == 120);

#endif // TOVEFILT_BENCH_MARKED_KEYS_H
