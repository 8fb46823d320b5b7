// The particle demo's main module: start-up, the two scenes and their
// on-screen texts, the frames-per-second counter, the emitter settings.
//
// The demo's own names live in namespace demo, apart from the framework's:
// its headers name framework types as cvx::..., its sources read them
// through a using-directive.
#pragma once

#include <cstdint>

#include "corvex/pixmap/pixmap.h"  // the image header needs the complete pixmap class
#include "corvex/runtime/string.h"
#include "corvex/vex2d/image.h"
#include "demo/emitter.h"

namespace demo {

// Frames counted in the last completed one-second window; 0 during the first.
std::int32_t CountFPS();
// Starts the counter afresh (window start 0, no frame counted, value 0).
void ResetFPSCounter();

// The six pictures compiled into the program, registered under their names in
// their fixed order (Fond_Plan_1, Fond_Plan_2, Play_All_Glued2, fire, bluspark,
// smoke1). Registering again changes nothing.
void RegisterDemoMedias();

// The three emitters of the demo with their settings.
cvx::Ref<TEmitter> CreateFireEmitter(const cvx::Ref<cvx::TImage>& image);
cvx::Ref<TEmitter> CreateSmokeEmitter(const cvx::Ref<cvx::TImage>& image);
cvx::Ref<TEmitter> CreateSparkEmitter(const cvx::Ref<cvx::TImage>& image);

// The HUD lines.
cvx::String SceneOneMemoryText(std::int32_t bytes);  // "Memoire allouee par l'application : <bytes>"
cvx::String SceneTwoMemoryText(std::int32_t bytes);  // "Memoire allouee : <bytes>"
cvx::String FPSText(std::int32_t fps);               // "FPS = <fps>"
cvx::String EmitterCountText(std::int32_t count);    // "Nombre d'emetteurs : <count>"

// The module body: start-up, scene 1, scene 2, teardown. Runs once; a second
// call returns true at once. False when no display could be opened (the
// graphics layer has logged why). A frame limit above 0 ends the demo after
// that many frames of scene 1 (start-up timing, smoke runs).
bool RunDemo(int frameLimit = 0);

}  // namespace demo
