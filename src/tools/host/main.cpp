// tavirex-host: the command-line host.
#include <iostream>

#include "hostenv/system.h"
#include "tools/host/host_tool.h"

int main(int argc, char** argv) {
  std::cout << std::unitbuf;  // in step with the boxes and the window on stderr
  return tavirex::host::RunHostTool(tavirex::ProgramArguments(argc, argv),
                                    tavirex::host::SystemDriverFactory(), std::cout, std::cerr);
}
