// zeltoctl: the car-audio processor from the command line. See ctl/ctl.h.

#include <iostream>
#include <string>
#include <vector>

#include "core/platform.h"
#include "ctl/ctl.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return zelto::ctl::RunZeltoctl(args, {std::cout, std::cerr, zelto::StandardErrorIsTerminal()});
}
