#pragma once

#include <cstddef>

// The ion-beam guard module as the build generated it (IonKillData.cpp in the build tree,
// written by vantor-ionkill-gen from the stand-in or from the site's module file).
namespace vantor::ionkill_data {

// Upper-case hexadecimal digit pairs, no separators, ending with the string's zero byte.
extern const char kHexText[];
extern const std::size_t kHexDigits;
// True for the built-in stand-in, which stops nothing on the controller.
extern const bool kStandIn;
// "stand-in", or the file name of the site's module the build took.
extern const char kOrigin[];
extern const unsigned kEdition;

} // namespace vantor::ionkill_data
