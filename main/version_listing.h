// The version line and the usage listing, vorn's only help text.
#ifndef VORN_MAIN_VERSION_LISTING_H_
#define VORN_MAIN_VERSION_LISTING_H_

#include <string_view>

#include "platform/env.h"

namespace vorn {

// Prints "vorn Version <version>", an empty line and the eight usage
// lines, each with its comment when `with_comments` is set.
void ShowVersion(Env& env, std::string_view version, bool with_comments);

}  // namespace vorn

#endif  // VORN_MAIN_VERSION_LISTING_H_
