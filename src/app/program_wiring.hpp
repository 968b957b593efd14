#pragma once
// Binds the subsystems together for the program: the shell's run services, the window's
// services and the hooks through which lower layers reach the window and the engine. Called
// once by main before the application starts.
void gf_wireProgram();
