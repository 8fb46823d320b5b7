// A global Lua function called through the engine (queued arguments, the
// protected global lookup, result inspection) against the same call made
// with the bare Lua API. Compare within one run as a ratio.
#include <benchmark/benchmark.h>

#include "bench/support/bench_main.h"
#include "corvex/script/scriptengine.h"

namespace cvx {
namespace {

const char* const kScript = "function add(a, b) return a + b end";

void BM_EngineCall(benchmark::State& state) {
  Ref<TScriptEngine> engine = new TScriptEngine();
  engine->LoadScript(kScript);
  engine->RunScript();
  engine->AddNumberArg(1);
  engine->AddNumberArg(2);
  for (auto _ : state) benchmark::DoNotOptimize(engine->CallFunction("add"_s, 1));
  engine->Stop();
}
BENCHMARK(BM_EngineCall);

void BM_BareLuaCall(benchmark::State& state) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  luaL_loadstring(L, kScript);
  lua_pcall(L, 0, 0, 0);
  for (auto _ : state) {
    lua_getglobal(L, "add");
    lua_pushnumber(L, 1);
    lua_pushnumber(L, 2);
    lua_pcall(L, 2, 1, 0);
    benchmark::DoNotOptimize(lua_tonumber(L, -1));
    lua_pop(L, 1);
  }
  lua_close(L);
}
BENCHMARK(BM_BareLuaCall);

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv, cvx::InitScriptEngine); }
