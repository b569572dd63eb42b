// Stand-in for a launched program: prints the arguments its C runtime split
// from its command line, each as its length, ':' and its bytes.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) std::printf("%zu:%s", std::strlen(argv[i]), argv[i]);
  return 0;
}
