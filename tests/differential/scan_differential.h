#pragma once

#include <string>

#include "engine/density_types.h"
#include "tests/differential/header_recipe.h"

namespace quadrell::testing {

struct Comparison {
  // libjpeg reached the SOS and no deliberate difference of the walk
  // applies (a length below 2).
  bool compared = false;
  bool change = false;     // libjpeg's reading asks for a change
  std::string difference;  // empty where the two agree
};

// Holds the walk's verdict on a generated header against libjpeg's reading
// of it. The first JFIF APP0 libjpeg read decides; libjpeg itself keeps the
// last. A MacBinary header is handed to the walk, not to libjpeg.
Comparison compare_with_libjpeg(const GeneratedHeader& header, ScanResult result,
                                const PatchValue& value);

}  // namespace quadrell::testing
