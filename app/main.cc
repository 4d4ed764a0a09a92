// Entry point: hands the command line to run control.
#include <iostream>
#include <string>
#include <vector>

#include "app/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  int status = quillmar::Run(args, std::cout);
  std::cout.flush();
  return status;
}
