// pelkor: control a phone of the 6110 family from the command line.
#include <cstdio>
#include <cstring>
#include <string>

namespace pelkor_tool {
int RunDemo(const std::string &examplesDir);
}

namespace {

void Usage() {
  std::printf(
      "usage: pelkor demo [--examples DIR]\n"
      "  demo   a guided tour of the library against the built-in simulated phone\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    Usage();
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "demo") == 0) {
    std::string examples = PELKOR_EXAMPLES_DIR;
    for (int i = 2; i + 1 < argc; ++i)
      if (std::strcmp(argv[i], "--examples") == 0) examples = argv[i + 1];
    return pelkor_tool::RunDemo(examples);
  }
  std::fprintf(stderr, "pelkor: unknown command '%s'\n", argv[1]);
  Usage();
  return 2;
}
