// simulated-rhino-bundle <app folder> <major> [quit delay in seconds] [yak line]
// Writes a simulated Rhino application bundle, for the demo and benchmarks.

#include <cstdlib>
#include <iostream>

#include "tools/simulated_rhino/rhino_bundle.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: simulated-rhino-bundle <app folder> <major> [quit delay] [yak line]\n";
    return 2;
  }
  nimbra::simulated::RhinoBundle bundle;
  bundle.major = std::atoi(argv[2]);
  if (argc > 3) bundle.quitDelaySeconds = std::atof(argv[3]);
  if (argc > 4) bundle.yakOutput = std::string(argv[4]) + "\n";
  try {
    nimbra::simulated::makeRhinoBundle(argv[1], bundle);
  } catch (const std::exception& error) {
    std::cerr << "simulated-rhino-bundle: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
