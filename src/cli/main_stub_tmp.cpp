// TEMPORARY: the command line's entry point is not on this branch yet; this lets the build
// generate and link. Delete it when the real front end lands.

#include <cstdio>

int main() {
  std::fprintf(stderr, "cardwright: command line not built on this branch\n");
  return 1;
}
