// Stand-in for a launched program: writes the arguments its C runtime split
// from its command line to the file named first, each ended by a NUL.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  FILE* out = argc > 1 ? std::fopen(argv[1], "wb") : nullptr;
  for (int i = 2; out != nullptr && i < argc; ++i)
    std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, out);
  return out != nullptr && std::fclose(out) == 0 ? 0 : 1;
}
