#pragma once
// Globals of the application shell built before start-up. theApp itself is declared in
// app/PlexorinApp.h, the view globals in app/ViewGlobals.h, the idle request queues in
// app/IdleQueues.h.
#include <functional>
#include <string>

// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
// <data folder>/Plexorin.ini once start-up has set it; empty before, so a settings read made
// earlier reads a file with an empty name.
extern std::string _settings_ini_path;
} // namespace globals
using namespace globals;

// How start-up starts the render thread and how the exit stops it. The render code installs
// both before start-up; without them start-up starts no render thread.
void SetRenderThreadHooks(std::function<void()> start, std::function<void()> stop);
// Start-up and exit use these; false / nothing when no hooks are installed.
bool StartRenderThread();
void StopRenderThread();
