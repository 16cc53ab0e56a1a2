#include "main/vorn.h"
#include "platform/env.h"

int main(int argc, char** argv) {
  vorn::InitializeProcess();
  vorn::IgnoreBrokenPipe();
  return vorn::RunVorn(*vorn::Env::Default(), vorn::CommandLineArguments(argc, argv));
}
