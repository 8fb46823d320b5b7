#include <cstdio>

#include "corvex/app/app.h"
#include "corvex/audio/oggdecoder.h"
#include "corvex/audio/pcmdecoder.h"
#include "corvex/audio/sound.h"
#include "corvex/audio/wavdecoder.h"
#include "corvex/event/eventqueue.h"
#include "corvex/filesystem/filesystem.h"
#include "corvex/fonts/vectorfont.h"
#include "corvex/glgraphics/glgraphics.h"
#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/input/joystick.h"
#include "corvex/net/replication.h"
#include "corvex/net/socket.h"
#include "corvex/pixmap/jpeg/jpegloader.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/process/childprocess.h"
#include "corvex/random/random.h"
#include "corvex/runtime/classictext.h"
#include "corvex/runtime/error.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/startup.h"
#include "corvex/script/luaapi.h"
#include "corvex/script/scriptengine.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/datastream.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/endianstream.h"
#include "corvex/stream/textstream.h"
#include "corvex/stream/url.h"
#include "corvex/timer/timer.h"

namespace cvx {

namespace {

struct StartupStep {
  const char* module;
  void (*initialise)();
};

// Each initialiser runs once and first runs those of the modules it uses, so
// this order only decides which self-registering lists (stream openers,
// decoders, font loaders) get their entries first.
constexpr StartupStep kStartupOrder[] = {
    {"runtime errors", InitRuntimeErrors},
    {"audio samples", InitAudioSamples},
    {"data streams", InitDataStreams},
    {"banks", InitBanks},
    // The basic modules.
    {"sockets", InitSockets},
    {"random numbers", InitRandom},
    {"streams", InitStream},
    {"embedded resources", InitEmbed},
    {"endian streams", InitEndianStreams},
    {"text streams", InitTextStreams},
    {"lists", InitList},
    {"file system", InitFileSystem},
    {"pixmaps", InitPixmap},
    // Selecting the 2D driver brings in graphics, events, the system driver,
    // polled input, the 2D layer and the OpenGL layers.
    {"OpenGL 2D driver", InitGLVex2D},
    {"event queue", InitEventQueue},
    {"vector fonts", InitVectorFonts},
    {"replication", InitReplication},
    {"JPEG decoder", InitJPEGLoader},
    {"Ogg Vorbis decoder", InitOggDecoder},
    {"PNG decoder", InitPNGLoader},
    {"classic text", InitClassicText},
    {"TGA decoder", InitTGALoader},
    {"timers", InitTimers},
    {"WAVE decoder", InitWavDecoder},
    {"child processes", InitChildProcesses},
    {"OpenGL graphics", InitGLGraphics},
    {"Lua", InitLua},
    {"script engine", InitScriptEngine},
};

bool started = false;

// The shutdown steps, the reverse of what start-up and the program made
// possible. Each step is kept apart so that one that fails does not keep the
// others from running. These are StopCorvex's own, not RunShutdown's: Corvex
// can be started again after a stop, while RunShutdown ends the process.
void RunStep(const char* what, void (*step)()) noexcept {
  try {
    step();
  } catch (const std::exception& error) {
    LogWarning("shutting down %s failed: %s", what, error.what());
  } catch (...) {
    LogWarning("shutting down %s failed", what);
  }
}

void ShutDisplay() { ShutGraphics(); }
void EndChildProcesses() { TerminateAllChildProcesses(); }
void CloseSockets() { ShutAllSockets(); }
void FlushWriteStreams() {
  ConsoleStream()->Flush();
  // File streams write through C streams: this flushes every one still open.
  std::fflush(nullptr);
}

}  // namespace

void StartCorvex() {
  if (started) return;
  if (!RuntimeStarted())
    throw TRuntimeError(
        "StartCorvex: the runtime has not started; call RuntimeStartup(argc, argv) first (RunProgram does both)");
  for (const StartupStep& step : kStartupOrder) {
    LogDebug("starting %s", step.module);
    step.initialise();
  }
  started = true;
}

void StopCorvex() noexcept {
  if (!started) return;
  started = false;
  // The audio thread stops before anything it could still be reading goes.
  RunStep("sound", ShutdownSound);
  RunStep("joysticks", ShutdownJoysticks);
  RunStep("the display", ShutDisplay);
  RunStep("child processes", EndChildProcesses);
  RunStep("sockets", CloseSockets);
  RunStep("write streams", FlushWriteStreams);
}

bool CorvexStarted() noexcept { return started; }

namespace {

int (*guardedProgram)(int, char**) = nullptr;

int StartAndRun(int argc, char** argv) {
  StartCorvex();
  return guardedProgram(argc, argv);
}

}  // namespace

int RunProgram(int argc, char** argv, int (*program)(int, char**)) {
  RuntimeStartup(argc, argv);
  guardedProgram = program;
  int result = RunGuarded(StartAndRun, argc, argv);
  StopCorvex();
  return result;
}

}  // namespace cvx
