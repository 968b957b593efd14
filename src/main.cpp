// Wendrix_P3D: the subsystems are bound together, then the application runs.
#include "app/program_entry.hpp"
#include "app/program_wiring.hpp"
#include "platform/program_instance.hpp"

int main(int argc, char** argv) {
  gf_wireProgram();
  return gf_programEntry(platform::commandLineArguments(argc, argv));
}

// fontconfig, which cairo loads for the headless window's text, keeps a few allocations of its
// configuration that LeakSanitizer cannot follow (sanitizer builds only; unused otherwise).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
