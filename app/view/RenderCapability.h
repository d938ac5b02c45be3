#pragma once
// The graphics driver check of the main window's start: the render view
// needs textures of at least 8192 × 8192 pixels for the largest camera frames.

constexpr unsigned kRequiredTextureSize = 8192;
// The program-wide result code for "Failed to initialize image render."
constexpr int kRenderInitError = -7;

// 0 when `maximumTextureSize` is enough; otherwise prints
// "Err: Maximum Texture Size: %d\n" to standard output and returns -7.
int checkTextureSize(unsigned maximumTextureSize);
// The same for the graphics driver in use (needs a display).
int checkRenderCapability();
