#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "main/vorn.h"
#include "platform/env.h"

// The installed table's place is given by the build (VORN_INSTALLED_TABLE);
// the end-to-end tests build this file with a place of their own.
int main(int argc, char** argv) {
  vorn::InitializeProcess();
  vorn::IgnoreBrokenPipe();
  const vorn::TablePaths paths = {VORN_INSTALLED_TABLE, vorn::kTableName};
  return vorn::RunVorn(*vorn::Env::Default(), paths, vorn::CommandLineArguments(argc, argv));
}
