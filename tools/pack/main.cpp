#include <iostream>

#include "tools/pack/cli.h"

int main(int argc, char** argv) {
  return korvelt::pack::Main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
