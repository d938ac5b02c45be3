#pragma once
// The program's start and shutdown, in their order.
#include <string>

namespace shell {

// Asks for high-DPI rendering. Qt 6 scales by the screen's DPI on its own, so
// there is nothing to switch on; this stays the one place that would.
void SetDpiAwareness();

// The window title: the product name.
std::string WindowTitle();

// Hands the embedded skin archive to the framework (resource type 4, the
// resource path "<program folder>/skins/default/" for files beside it).
// False when the archive is missing or empty; nothing is shown then.
bool RegisterSkin();

// Every picture-sized allocation (1 MiB and more) gets pages of its own that
// go back to the system when it is freed. Without this the C library raises
// its threshold to the size of the first such buffer freed (at the first
// reconnect or recording), serves later ones from its heaps, and keeps the
// freed holes there resident: memory that grew at every reconnect. Called
// first thing, before any thread starts; RunProgram calls it.
void KeepPictureBuffersApart();

// platform::GetTickCount() when the program started (0 before RunProgram).
unsigned ProgramStartTick();

// The whole program: settings, skin, main window, message loop, shutdown
// (window, texts, settings saved last). `demo`: simulated cameras, the
// first one opened at start. Returns the exit code.
int RunProgram(int& argc, char** argv, bool demo = false, const std::string& pictureFile = {});

} // namespace shell
