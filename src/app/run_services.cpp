// The shell's hooks into the subsystems below it; bound by gf_wireProgram.
#include "app/run_services.hpp"

RunServices runServices;
