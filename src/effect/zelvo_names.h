#pragma once

// The names under which the effect declares its clips and parameters and
// fetches them again in every instance; hosts store them in projects.

namespace Zelvo {

constexpr const char *kSourceClip = "Source";
constexpr const char *kOutputClip = "Output";
constexpr const char *kSplitCountParam = "splitCount";
constexpr const char *kSplitAngleParam = "splitAngle";
// "section1" .. "section10": section d of the interface is section index d - 1.
constexpr const char *kSectionParams[10] = {"section1", "section2", "section3", "section4", "section5",
                                            "section6", "section7", "section8", "section9", "section10"};

}  // namespace Zelvo
