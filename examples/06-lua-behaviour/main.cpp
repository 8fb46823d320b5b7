// A Lua-scripted behaviour: a firefly whose path and colour a Lua script
// decides, one call a frame.
//
// Shows: a script engine, native functions given to the script
// (RegisterFunction), a script compiled into the program and loaded through
// "incbin::behaviour.lua", calling a Lua function with arguments and reading
// its result, and how errors come back (ErrorText) instead of being raised.
//
//   example-lua-behaviour [--frames N]   N frames, then checks the firefly's pixel
#include <corvex/app/app.h>
#include <corvex/graphics/graphics.h>
#include <corvex/input/input.h>
#include <corvex/input/keycodes.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/script/scriptengine.h>
#include <corvex/stream/embed.h>
#include <corvex/stream/url.h>
#include <corvex/vex2d/vex2d.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cvx::embedded {
extern const unsigned char example_behaviour_lua[];
extern const std::size_t example_behaviour_lua_size;
}  // namespace cvx::embedded

using namespace cvx;

namespace {

// What the script last asked for. Native functions are plain C functions, so
// they talk to the program through state like this.
float gX = 0, gY = 0;
int gRed = 255, gGreen = 255, gBlue = 255;

// move(x, y): luaL_checknumber raises a Lua error for a wrong argument, which
// the engine turns into its ErrorText.
int LuaMove(lua_State* L) {
  gX = float(luaL_checknumber(L, 1));
  gY = float(luaL_checknumber(L, 2));
  return 0;  // no results
}

int LuaColour(lua_State* L) {
  gRed = luaL_checkint(L, 1);
  gGreen = luaL_checkint(L, 2);
  gBlue = luaL_checkint(L, 3);
  return 0;
}

int FramesToRun(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;
}

int Game(int argc, char** argv) {
  const int frames = FramesToRun(argc, argv);
  if (!OpenGraphics(320, 240, 0, 60, 0)) return 1;

  EmbedRegister("behaviour.lua"_s, embedded::example_behaviour_lua, std::int32_t(embedded::example_behaviour_lua_size));
  Ref<TScriptEngine> lua = MakeRef<TScriptEngine>();
  lua->RegisterFunction(LuaMove, "move"_s);
  lua->RegisterFunction(LuaColour, "colour"_s);
  // LoadScript compiles, RunScript runs the chunk once (defining update).
  if (!lua->LoadScript(UrlLoadText("incbin::behaviour.lua"_s)) || !lua->RunScript()) {
    std::fprintf(stderr, "behaviour.lua: %s\n", lua->ErrorText().ToStd().c_str());
    return 1;
  }

  float firstX = 0, firstY = 0;
  for (int frame = 1; !KeyIsDown(key::Escape) && !AppQuitRequested(); ++frame) {
    // update(frame), one result expected. The queue of arguments stays
    // queued after a call, so it is emptied first.
    lua->ClearArgs();
    lua->AddNumberArg(frame);
    if (!lua->CallFunction("update"_s, 1)) {
      std::fprintf(stderr, "update: %s\n", lua->ErrorText().ToStd().c_str());
      return 1;
    }
    if (frame == 1) firstX = gX, firstY = gY;
    const String mood = lua->ResultType() == ScriptResultString ? lua->StringResult() : "?"_s;

    SetClearColor(8, 8, 20);
    ClearScreen();
    // A soft halo, then the firefly itself, in the colour the script chose.
    SetBlendMode(BlendAlpha);
    SetDrawColor(gRed, gGreen, gBlue);
    SetDrawAlpha(0.25f);
    FillOval(gX - 16, gY - 16, 32, 32);
    SetDrawAlpha(1);
    SetBlendMode(BlendSolid);
    FillOval(gX - 6, gY - 6, 12, 12);
    SetDrawColor(255, 255, 255);
    DrawString(Concat("the firefly is "_s, mood), 8, 8);

    if (frames > 0 && frame == frames) {
      const std::uint32_t seen = ReadPixmap(int(gX), int(gY), 1, 1)->GetPixel(0, 0) & 0xFFFFFFu;
      const std::uint32_t wanted = std::uint32_t(gRed << 16 | gGreen << 8 | gBlue);
      std::printf("frame %d: the firefly is %s at (%.0f, %.0f), drawn %06X\n", frame, mood.ToStd().c_str(), gX, gY,
                  seen);
      // The script must have moved the firefly from where frame 1 put it.
      return seen == wanted && (gX != firstX || gY != firstY) ? 0 : 1;
    }
    FlipFrame(-1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
