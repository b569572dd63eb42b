// Stand-in for a launched program: writes the arguments its C runtime split
// from its command line to the file named first, each as its length, ':'
// and its bytes.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  FILE* out = argc > 1 ? std::fopen(argv[1], "wb") : nullptr;
  for (int i = 2; out != nullptr && i < argc; ++i) {
    std::fprintf(out, "%zu:%s", std::strlen(argv[i]), argv[i]);
  }
  return out != nullptr && std::fclose(out) == 0 ? 0 : 1;
}
