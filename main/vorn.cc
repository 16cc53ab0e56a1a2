#include "main/vorn.h"

#include "main/settings.h"
#include "main/version.h"
#include "main/version_listing.h"
#include "platform/failure_report.h"
#include "substitute/substitute_list.h"
#include "substitute/substitute_single.h"

namespace vorn {

int RunVorn(Env& env, const TablePaths& paths, const std::vector<std::string>& arguments) {
  Settings settings;
  auto decode = [&env](std::string_view value) { return env.CharacterOptionToCP932(value); };
  switch (ReadArguments(arguments, &settings, decode)) {
    case Request::kVersionListing:
      ShowVersion(env, kVersion, false);
      return kExitStopped;
    case Request::kVersionWithComments:
      ShowVersion(env, kVersion, true);
      return kExitStopped;
    case Request::kLongVersion:
      ShowVersion(env, kVersion, false);
      return kExitDone;
    case Request::kLongHelp:
      ShowVersion(env, kVersion, true);
      return kExitDone;
    case Request::kSubstitute:
      break;
  }

  IoError error;
  Outcome outcome =
      settings.ListName.empty()
          ? SubstituteSingle(env, paths, settings.SourceChar, settings.ReplacementChar,
                             settings.OutputName, settings.ShowTable, &error)
          : SubstituteList(env, paths, settings.ListName, settings.OutputName, settings.ShowTable,
                           &error);
  switch (outcome) {
    case Outcome::kDone:
      return kExitDone;
    case Outcome::kTableMissing:
      return kExitStopped;
    case Outcome::kFailed:
      break;
  }
  env.ReportFailure(error);
  return kFailureExitStatus;
}

}  // namespace vorn
