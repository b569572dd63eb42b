// tavirex-host: the command-line host.
#include <iostream>
#include <string>
#include <vector>

#include "tools/host/host_tool.h"

int main(int argc, char** argv) {
  std::cout << std::unitbuf;  // in step with the boxes and the window on stderr
  return tavirex::host::RunHostTool(std::vector<std::string>(argv + 1, argv + argc),
                                    tavirex::host::SystemDriverFactory(), std::cout, std::cerr);
}
