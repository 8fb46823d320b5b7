#include "corvex/script/scriptengine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <string>

#include "corvex/runtime/error.h"

namespace cvx {
void PrintTo(const String& text, std::ostream* out) { *out << '"' << text.ToStd() << '"'; }
namespace {

// The engine native test functions talk to.
TScriptEngine* gEngine = nullptr;

int NativeAdd(lua_State* L) {
  const double sum = gEngine->GetNumber(L, 1) + gEngine->GetNumber(L, 2);
  gEngine->PushNumber(L, sum);
  return 1;
}

int NativeGreet(lua_State* L) {
  String who = gEngine->GetString(L, 1);
  gEngine->PushString(L, "Hello "_s + who);
  return 1;
}

int NativeTruncate(lua_State* L) {
  gEngine->PushNumber(L, gEngine->GetInt(L, 1));
  return 1;
}

int NativeThrows(lua_State*) { throw TRuntimeError("native failure"); }

int NativeStops(lua_State*) {
  gEngine->Stop();
  return 0;
}

int NativeRestarts(lua_State*) {
  gEngine->Start();
  return 0;
}

int NativeRaises(lua_State* L) { return luaL_error(L, "finaliser failure"); }

// Reads argument 1 as an index of the arguments and answers the one there.
int NativeArgumentAt(lua_State* L) {
  const int index = static_cast<int>(lua_tonumber(L, 1));
  const int kind = static_cast<int>(lua_tonumber(L, 2));
  if (kind == 0) gEngine->PushNumber(L, gEngine->GetNumber(L, index));
  if (kind == 1) gEngine->PushString(L, gEngine->GetString(L, index));
  if (kind == 2) gEngine->PushNumber(L, gEngine->GetInt(L, index));
  return 1;
}

// Pushes argument 1 numbers, then a string and a boolean; returns the last three.
int NativePushesMany(lua_State* L) {
  const int count = static_cast<int>(lua_tonumber(L, 1));
  for (int i = 0; i < count; ++i) gEngine->PushNumber(L, i);
  gEngine->PushString(L, "s");
  gEngine->PushBool(L, 1);
  return 3;
}

int NativeReturnsTooMany(lua_State*) { return 50; }
int NativeReturnsNegative(lua_State*) { return -1; }
int NativeYields(lua_State* L) {
  lua_pushnumber(L, 7);
  return lua_yield(L, 1);
}

// Calls count with fifty string arguments of its own, from inside a call.
int NativeCallsWithStrings(lua_State* L) {
  gEngine->ClearArgs();
  for (int i = 0; i < 50; ++i) gEngine->AddStringArg(String::OfInt(i) + " and forty more characters of text...."_s);
  const int ok = gEngine->CallFunction("count", 1);
  lua_pushnumber(L, ok ? gEngine->NumberResult() : -1);
  return 1;
}

class ScriptEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    InitScriptEngine();
    engine = new TScriptEngine();
    gEngine = engine.Get();
  }
  void TearDown() override {
    engine->Stop();
    gEngine = nullptr;
  }
  int Top() { return lua_gettop(engine->state); }
  // Loads and runs text; both must succeed.
  void Run(const char* text) {
    ASSERT_EQ(engine->LoadScript(text), 1) << engine->ErrorText().ToStd();
    ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToStd();
  }
  // Arms the finaliser from a chunk, and has the collector run a whole cycle
  // (finalisers included) at the next allocation the engine makes.
  void ArmForTheNextAllocation(const char* finaliser) {
    engine->RegisterFunction(NativeStops, "stop");
    engine->RegisterFunction(NativeRaises, "raise");
    Run((std::string("collectgarbage('collect') collectgarbage('stop') local p = newproxy(true) getmetatable(p).__gc = "
                     "function() ") +
         finaliser + " end")
            .c_str());
    lua_gc(engine->state, LUA_GCSETSTEPMUL, 1000000);
    lua_gc(engine->state, LUA_GCRESTART, 0);
  }
  Ref<TScriptEngine> engine;
};

TEST_F(ScriptEngineTest, NewEngineIsStartedWithTheStandardLibraries) {
  EXPECT_EQ(engine->IsStarted(), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultNone);
  Run("function probe() return type(table.insert) .. type(io.write) .. type(string.format) .. type(math.floor) end");
  ASSERT_EQ(engine->CallFunction("probe", 1), 1);
  EXPECT_EQ(engine->StringResult(), "functionfunctionfunctionfunction"_s);
  EXPECT_EQ(Top(), 0);
}

TEST_F(ScriptEngineTest, CallsWithQueuedArgumentsInOrder) {
  Run("function join(a, b, c, d) return tostring(a) .. '|' .. b .. '|' .. tostring(c) .. '|' .. tostring(d) end");
  engine->AddNumberArg(2.5);
  engine->AddStringArg("text");
  engine->AddBoolArg(1);
  engine->AddBoolArg(0);
  ASSERT_EQ(engine->CallFunction("join", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultString);
  EXPECT_EQ(engine->StringResult(), "2.5|text|true|false"_s);
  // The queue survives the call: the same arguments go to the next one.
  ASSERT_EQ(engine->CallFunction("join", 1), 1);
  EXPECT_EQ(engine->StringResult(), "2.5|text|true|false"_s);
  engine->ClearArgs();
  EXPECT_EQ(engine->ResultType(), ScriptResultNone);
  EXPECT_EQ(engine->StringResult(), ""_s);
  Run("function count(...) return select('#', ...) end");
  ASSERT_EQ(engine->CallFunction("count", 1), 1);
  EXPECT_EQ(engine->NumberResult(), 0);
  EXPECT_EQ(Top(), 0);
}

TEST_F(ScriptEngineTest, ResultKindsNumberFirstThenBoolThenString) {
  Run("function twelve() return '12' end function yes() return true end "
      "function none() return nil end function name() return 'abc' end "
      "function two() return 1, 2 end");
  ASSERT_EQ(engine->CallFunction("twelve", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultNumber);
  EXPECT_EQ(engine->NumberResult(), 12);
  ASSERT_EQ(engine->CallFunction("yes", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultBool);
  EXPECT_EQ(engine->BoolResult(), 1);
  // nil is left alone: the type stays what the previous call set.
  ASSERT_EQ(engine->CallFunction("none", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultBool);
  engine->ClearArgs();
  ASSERT_EQ(engine->CallFunction("none", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultNone);
  lua_settop(engine->state, 0);
  ASSERT_EQ(engine->CallFunction("name", 1), 1);
  EXPECT_EQ(engine->StringResult(), "abc"_s);
  // Only the topmost of several results is read.
  ASSERT_EQ(engine->CallFunction("two", 2), 1);
  EXPECT_EQ(engine->NumberResult(), 2);
  // No result wanted: nothing read.
  ASSERT_EQ(engine->CallFunction("twelve", 0), 1);
  EXPECT_EQ(engine->NumberResult(), 2);
}

TEST_F(ScriptEngineTest, MissingFunctionIsARunTimeErrorAndEmptiesTheStack) {
  lua_pushnumber(engine->state, 1);
  EXPECT_EQ(engine->CallFunction("nowhere", 1), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->ErrorText(), "attempt to call a nil value"_s);
  EXPECT_EQ(Top(), 0);
  // The state is still usable.
  Run("function ok() return 1 end");
  EXPECT_EQ(engine->CallFunction("ok", 1), 1);
}

TEST_F(ScriptEngineTest, SyntaxAndRuntimeErrorsKeepTheLuaText) {
  EXPECT_EQ(engine->LoadScript("x = = 1"), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRSYNTAX);
  EXPECT_EQ(engine->ErrorText(), "[string \"x = = 1\"]:1: unexpected symbol near '='"_s);
  // The failed load leaves no script, so nothing runs.
  EXPECT_EQ(engine->RunScript(), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: No script text to execute"_s);
  EXPECT_EQ(engine->ErrorCode(), 0);

  ASSERT_EQ(engine->LoadScript("error('boom')"), 1);
  EXPECT_EQ(engine->script, "error('boom')"_s);
  EXPECT_EQ(engine->RunScript(), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->ErrorText(), "[string \"error('boom')\"]:1: boom"_s);
  EXPECT_EQ(Top(), 0);

  Run("function bad() local t = nil; return t.x end");
  EXPECT_EQ(engine->CallFunction("bad", 1), 0);
  EXPECT_EQ(
      engine->ErrorText(),
      "[string \"function bad() local t = nil; return t.x en...\"]:1: attempt to index local 't' (a nil value)"_s);
  // A non-string error object leaves the text empty.
  Run("function tableerror() error({}) end");
  EXPECT_EQ(engine->CallFunction("tableerror", 0), 0);
  EXPECT_EQ(engine->ErrorText(), ""_s);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
}

TEST_F(ScriptEngineTest, NotStartedAndNoScript) {
  EXPECT_EQ(engine->RunScript(), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: No script text to execute"_s);
  engine->Stop();
  EXPECT_EQ(engine->IsStarted(), 0);
  EXPECT_EQ(engine->state, nullptr);
  for (int result : {engine->CallFunction("f", 1), engine->LoadScript("x = 1"), engine->RunFile("/nonexistent.lua"),
                     engine->RunScript()}) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Engine is not started"_s);
    EXPECT_EQ(engine->ErrorCode(), 0);
  }
  engine->RegisterFunction(NativeAdd, "add");  // ignored
  engine->Stop();                              // twice is harmless
  engine->Start();
  EXPECT_EQ(engine->IsStarted(), 1);
  Run("function ok() return 7 end");
  ASSERT_EQ(engine->CallFunction("ok", 1), 1);
  EXPECT_EQ(engine->NumberResult(), 7);
}

TEST_F(ScriptEngineTest, RestartGivesAFreshState) {
  Run("leftover = 5");
  engine->Start();
  Run("function get() return leftover end");
  engine->ClearArgs();
  ASSERT_EQ(engine->CallFunction("get", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultNone);
}

// CallFunction keeps the name's bytes, its argument buffers and its protected
// call from one call to the next: each call must still see the name, the
// arguments and the state it is given now.
TEST_F(ScriptEngineTest, RepeatedCallsSeeTheCurrentNameArgumentsAndState) {
  Run("function add(a, b) return a + b end function join(a, b) return a .. b end");
  engine->AddNumberArg(1);
  engine->AddNumberArg(2);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), 3);
  // The same text in a new string, then another name, then the first again.
  ASSERT_EQ(engine->CallFunction(String("ad") + String("d"), 1), 1);
  EXPECT_EQ(engine->NumberResult(), 3);
  engine->ClearArgs();
  engine->AddStringArg("x"_s);
  engine->AddStringArg("yz"_s);
  ASSERT_EQ(engine->CallFunction("join"_s, 1), 1);
  EXPECT_EQ(engine->StringResult().ToStd(), "xyz");
  engine->ClearArgs();
  engine->AddNumberArg(10);
  engine->AddNumberArg(5);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), 15);
  // The global is looked up on every call: a redefinition is seen at once.
  Run("function add(a, b) return a * b end");
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), 50);
  // A fresh state has no protected-call function stored yet.
  engine->Start();
  Run("function add(a, b) return a - b end");
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), 5);
  EXPECT_EQ(engine->CallFunction("missing"_s, 1), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), 5);
  EXPECT_EQ(Top(), 0);
}

// Counts the allocations (new blocks and grown ones) a Lua state makes.
struct AllocationCounter {
  lua_Alloc inner = nullptr;
  void* innerData = nullptr;
  long count = 0;
  static void* Allocate(void* data, void* block, size_t oldSize, size_t newSize) {
    auto* counter = static_cast<AllocationCounter*>(data);
    if (newSize > oldSize) ++counter->count;
    return counter->inner(counter->innerData, block, oldSize, newSize);
  }
  void Attach(lua_State* L) {
    inner = lua_getallocf(L, &innerData);
    lua_setallocf(L, Allocate, this);
  }
  void Detach(lua_State* L) { lua_setallocf(L, inner, innerData); }
};

// A call whose arguments are numbers or booleans, repeated, allocates nothing
// in Lua (no closure, no string, no registry slot per call), so Lua's memory
// stays where it was however many calls are made.
TEST_F(ScriptEngineTest, RepeatedCallsDoNotGrowLuasMemory) {
  Run("function add(a, b) return a + b end function same(flag) return flag end "
      "function word() return 'constant' end");
  engine->AddNumberArg(1);
  engine->AddNumberArg(2);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  lua_gc(engine->state, LUA_GCCOLLECT, 0);
  const int before = lua_gc(engine->state, LUA_GCCOUNT, 0);
  AllocationCounter counter;
  counter.Attach(engine->state);
  int failures = 0;
  double sum = 0;
  for (int i = 0; i < 100000; ++i) {
    failures += engine->CallFunction("add"_s, 1) == 0;
    sum += engine->NumberResult();
  }
  const long numberCalls = counter.count;
  engine->ClearArgs();
  engine->AddBoolArg(1);
  ASSERT_EQ(engine->CallFunction("same"_s, 1), 1);  // the first call with a name stores it
  counter.count = 0;
  for (int i = 0; i < 1000; ++i) {
    failures += engine->CallFunction("same"_s, 1) == 0;
    failures += engine->CallFunction("word"_s, 1) == 0;
  }
  // Calls under two names by turns take the general route (only the last name
  // is kept), which finds the strings the globals' keys hold: still nothing new.
  const long otherCalls = counter.count;
  const int after = lua_gc(engine->state, LUA_GCCOUNT, 0);
  counter.Detach(engine->state);
  EXPECT_EQ(failures, 0) << engine->ErrorText().ToStd();
  EXPECT_EQ(sum, 300000);
  EXPECT_EQ(engine->StringResult(), "constant"_s);
  EXPECT_EQ(numberCalls, 0);
  EXPECT_EQ(otherCalls, 0);
  EXPECT_EQ(after, before);
  EXPECT_EQ(Top(), 0);
}

// Calls take the direct route when the global is found as it is, and the
// general one otherwise; both give the same results and errors.
TEST_F(ScriptEngineTest, FunctionsFoundThroughTheGlobalsMetatableAndRemovedOnes) {
  Run("function add(a, b) return a + b end "
      "setmetatable(_G, {__index = function(t, k) if k == 'lazy' then return function(x) return x * 10 end end end})");
  engine->AddNumberArg(4);
  engine->AddNumberArg(5);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), 9);
  // Not a raw global: __index answers it, on every call.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(engine->CallFunction("lazy"_s, 1), 1) << engine->ErrorText().ToStd();
    EXPECT_EQ(engine->NumberResult(), 40);
  }
  // A stored name whose global has gone, or holds a value that is not a function.
  Run("add = nil");
  EXPECT_EQ(engine->CallFunction("add"_s, 1), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->ErrorText(), "attempt to call a nil value"_s);
  Run("add = 3");
  EXPECT_EQ(engine->CallFunction("add"_s, 1), 0);
  EXPECT_EQ(engine->ErrorText(), "attempt to call a number value"_s);
  Run("add = setmetatable({}, {__call = function(self, a, b) return a - b end})");
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->NumberResult(), -1);
  // String arguments in between, then numbers again, under the same name.
  Run("function add(a, b) return a .. b end");
  engine->ClearArgs();
  engine->AddStringArg("p"_s);
  engine->AddNumberArg(7);
  ASSERT_EQ(engine->CallFunction("add"_s, 1), 1);
  EXPECT_EQ(engine->StringResult(), "p7"_s);
  engine->ClearArgs();
  engine->AddNumberArg(7);
  engine->AddNumberArg(8);
  ASSERT_EQ(engine->CallFunction("add"_s, -1), 1);
  EXPECT_EQ(engine->NumberResult(), 78);
  EXPECT_EQ(Top(), 0);
  // Over values the caller left on the stack, results and errors alike.
  lua_pushnumber(engine->state, 99);
  ASSERT_EQ(engine->CallFunction("add"_s, 3), 1);
  EXPECT_EQ(engine->NumberResult(), 78);
  EXPECT_EQ(Top(), 1);
  engine->AddNumberArg(1);
  for (int i = 0; i < 10000; ++i) engine->AddNumberArg(1);
  EXPECT_EQ(engine->CallFunction("add"_s, 1), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Lua stack overflow"_s);
  EXPECT_EQ(Top(), 1);
}

// A native function that calls back into the engine while a call runs: the
// inner call reuses the engine's buffers, and the outer one still gets its
// own function's result.
TEST_F(ScriptEngineTest, CallsFromInsideACall) {
  engine->RegisterFunction(
      [](lua_State*) -> int {
        gEngine->ClearArgs();
        gEngine->AddNumberArg(20);
        const int ok = gEngine->CallFunction("inner"_s, 1);
        gEngine->PushNumber(gEngine->state, ok ? gEngine->NumberResult() : -1);
        return 1;
      },
      "reenter");
  Run("function inner(x) return x + 1 end function outer(a, b) return reenter() + a + b end");
  engine->AddNumberArg(100);
  engine->AddNumberArg(1000);
  for (int i = 0; i < 3; ++i) {
    engine->ClearArgs();
    engine->AddNumberArg(100);
    engine->AddNumberArg(1000);
    ASSERT_EQ(engine->CallFunction("outer"_s, 1), 1) << engine->ErrorText().ToStd();
    EXPECT_EQ(engine->NumberResult(), 1121);
  }
  EXPECT_EQ(Top(), 0);
}

TEST_F(ScriptEngineTest, RunScriptTwiceRunsTheChunkAgain) {
  ASSERT_EQ(engine->LoadScript("counter = (counter or 0) + 1"), 1);
  EXPECT_EQ(Top(), 1);  // the compiled chunk waits on the stack
  ASSERT_EQ(engine->RunScript(), 1);
  EXPECT_EQ(Top(), 0);
  ASSERT_EQ(engine->RunScript(), 1);
  Run("function get() return counter end");
  ASSERT_EQ(engine->CallFunction("get", 1), 1);
  EXPECT_EQ(engine->NumberResult(), 2);
}

TEST_F(ScriptEngineTest, ValuesLeftOnTheStackDoNotReplaceTheLoadedChunk) {
  ASSERT_EQ(engine->LoadScript("ran = true"), 1);
  lua_newtable(engine->state);
  lua_newtable(engine->state);
  EXPECT_EQ(Top(), 3);
  ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToStd();
  Run("function get() return ran end");
  ASSERT_EQ(engine->CallFunction("get", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultBool);
}

TEST_F(ScriptEngineTest, ManyArgumentsAndAFullStack) {
  Run("function sum(...) local s = 0 for _, v in ipairs({...}) do s = s + v end return s end");
  for (int i = 1; i <= 300; ++i) engine->AddNumberArg(i);
  ASSERT_EQ(engine->CallFunction("sum", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 300 * 301 / 2);
  // More arguments than the stack can take fail the call, and the state recovers.
  for (int i = 0; i < 10000; ++i) engine->AddNumberArg(1);
  EXPECT_EQ(engine->CallFunction("sum", 1), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Lua stack overflow"_s);
  EXPECT_EQ(Top(), 0);
  engine->ClearArgs();
  engine->AddNumberArg(4);
  ASSERT_EQ(engine->CallFunction("sum", -3), 1);  // every result
  EXPECT_EQ(engine->NumberResult(), 4);
}

TEST_F(ScriptEngineTest, ResultCountsNoStackCanHoldFailTheCall) {
  Run("function one() return 1 end");
  // The first call goes the general way, the second straight to the stored name.
  for (int count : {std::numeric_limits<int>::max(), 100000}) {
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(engine->CallFunction("one", count), 0) << count;
      EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Lua stack overflow"_s);
      EXPECT_EQ(Top(), 0);
    }
  }
  ASSERT_EQ(engine->CallFunction("one", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 1);
}

TEST_F(ScriptEngineTest, AMillionCallsLeaveTheStackAsTheyFoundIt) {
  Run("function pair() return {}, {} end function none() return nil end "
      "function many() return 1, 'two', {}, true end function number() return 3 end");
  // A chunk waiting for RunScript stays where it is.
  ASSERT_EQ(engine->LoadScript("ran = true"), 1);
  const int top = Top();
  ASSERT_EQ(top, 1);
  const char* names[] = {"pair", "none", "many", "number"};
  const int counts[] = {2, 1, -1, 3};
  int failures = 0;
  for (int i = 0; i < 1000000; ++i) {
    failures += engine->CallFunction(names[i % 4], counts[i % 4]) == 0;
    if (Top() != top) break;
  }
  EXPECT_EQ(failures, 0) << engine->ErrorText().ToStd();
  EXPECT_EQ(Top(), top);
  ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToStd();
  Run("function get() return ran end");
  ASSERT_EQ(engine->CallFunction("get", 1), 1);
  EXPECT_EQ(engine->ResultType(), ScriptResultBool);
}

TEST_F(ScriptEngineTest, ChunksLoadedAndNeverRunDoNotPileUp) {
  for (int i = 0; i < 100000; ++i) {
    if (engine->LoadScript("loaded = " + std::to_string(i)) == 0 || Top() != 1) break;
  }
  EXPECT_EQ(Top(), 1);
  ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(Top(), 0);
  Run("function get() return loaded end");
  ASSERT_EQ(engine->CallFunction("get", 1), 1);
  EXPECT_EQ(engine->NumberResult(), 99999);
  // A value pushed over the chunk keeps both where they are.
  ASSERT_EQ(engine->LoadScript("loaded = 'first'"), 1);
  lua_pushnumber(engine->state, 5);
  ASSERT_EQ(engine->LoadScript("loaded = 'second'"), 1);
  EXPECT_EQ(Top(), 3);
  ASSERT_EQ(engine->RunScript(), 1);
  ASSERT_EQ(engine->CallFunction("get", 1), 1);
  EXPECT_EQ(engine->StringResult(), "second"_s);
}

TEST_F(ScriptEngineTest, ResultsTooLongForAStringAreTheCallsError) {
  // Over a gibibyte (more than a runtime string can hold), made once by doubling.
  Run("big = string.rep('x', 1024) for i = 1, 20 do big = big .. big end collectgarbage() "
      "function huge() return big end function hugeerror() error(big, 0) end");
  engine->ClearArgs();
  int result = -1;
  EXPECT_NO_THROW(result = engine->CallFunction("huge", 1));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: String too long"_s);
  EXPECT_EQ(engine->ResultType(), ScriptResultNone);
  EXPECT_EQ(Top(), 0);
  EXPECT_NO_THROW(result = engine->CallFunction("hugeerror", 0));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: String too long"_s);
  Run("big = nil collectgarbage() function ok() return 'fine' end");
  ASSERT_EQ(engine->CallFunction("ok", 1), 1);
  EXPECT_EQ(engine->StringResult(), "fine"_s);
}

// A C++ exception thrown by a native function that a script calls through
// pcall is caught there by the script, and the engine keeps going.
TEST_F(ScriptEngineTest, NativeExceptionsStayInsideLua) {
  engine->RegisterFunction(
      [](lua_State* L) -> int {
        String text = gEngine->GetString(L, 1);  // a live C++ object when the exception leaves
        throw TRuntimeError("refused " + text.ToStd());
      },
      "refuse");
  Run("function try(x) local ok, message = pcall(refuse, x) return message end");
  engine->AddStringArg("this");
  ASSERT_EQ(engine->CallFunction("try", 1), 1);
  EXPECT_EQ(engine->StringResult(), "refused this"_s);
  engine->ClearArgs();
  EXPECT_EQ(engine->CallFunction("refuse", 1), 0);
  EXPECT_NE(engine->ErrorText().ToStd().find("string expected, got no value"), std::string::npos);
  EXPECT_EQ(Top(), 0);
}

// An engine whose Start sets up its state.
class GreetingEngine : public TScriptEngine {
 public:
  int starts = 0;
  void Start() override {
    TScriptEngine::Start();
    ++starts;
    if (started) RegisterFunction(NativeGreet, "greet");
  }
};

TEST(DerivedScriptEngine, RunsItsOwnStartOnce) {
  InitScriptEngine();
  Ref<GreetingEngine> engine = new GreetingEngine();
  gEngine = engine.Get();
  ASSERT_EQ(engine->LoadScript("function hi() return greet('you') end"), 1);
  EXPECT_EQ(engine->starts, 1);
  ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToStd();
  ASSERT_EQ(engine->CallFunction("hi", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->StringResult(), "Hello you"_s);
  EXPECT_EQ(engine->starts, 1);
  // A restart asked for explicitly runs it again.
  engine->Stop();
  EXPECT_EQ(engine->IsStarted(), 0);
  engine->Start();
  EXPECT_EQ(engine->starts, 2);
  EXPECT_EQ(engine->IsStarted(), 1);
  ASSERT_EQ(engine->LoadScript("function hi() return greet('again') end"), 1);
  ASSERT_EQ(engine->RunScript(), 1);
  ASSERT_EQ(engine->CallFunction("hi", 1), 1);
  EXPECT_EQ(engine->StringResult(), "Hello again"_s);
  EXPECT_EQ(engine->starts, 2);
  engine->Stop();
  gEngine = nullptr;

  // Stopped before its first use: it stays stopped.
  Ref<GreetingEngine> idle = new GreetingEngine();
  idle->Stop();
  EXPECT_EQ(idle->IsStarted(), 0);
  EXPECT_EQ(idle->starts, 0);
}

TEST_F(ScriptEngineTest, NativeFunctions) {
  engine->RegisterFunction(NativeAdd, "add");
  engine->RegisterFunction(NativeGreet, "greet");
  engine->RegisterFunction(NativeTruncate, "trunc");
  engine->RegisterFunction(NativeThrows, "throws");
  Run("function useadd() return add(2, 3.5) end function usegreet(n) return greet(n) end "
      "function usetrunc(x) return trunc(x) end");
  ASSERT_EQ(engine->CallFunction("useadd", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 5.5);
  engine->AddStringArg("Lua");
  ASSERT_EQ(engine->CallFunction("usegreet", 1), 1);
  EXPECT_EQ(engine->StringResult(), "Hello Lua"_s);
  engine->ClearArgs();
  for (auto [in, out] : {std::pair{-2.9, -2.0}, {3.99, 3.0}, {1e20, 2147483647.0}, {-1e20, -2147483648.0}}) {
    engine->ClearArgs();
    engine->AddNumberArg(in);
    ASSERT_EQ(engine->CallFunction("usetrunc", 1), 1);
    EXPECT_EQ(engine->NumberResult(), out) << in;
  }
  engine->ClearArgs();
  EXPECT_EQ(engine->CallFunction("add", 1), 0);  // bad argument: a Lua error, not a crash
  EXPECT_EQ(engine->ErrorText(), "bad argument #1 to '?' (number expected, got no value)"_s);
  engine->AddBoolArg(1);
  EXPECT_EQ(engine->CallFunction("usegreet", 1), 0);
  EXPECT_NE(engine->ErrorText().ToStd().find("string expected, got boolean"), std::string::npos);
  // A C++ exception of a native function becomes a Lua error with its text.
  EXPECT_EQ(engine->CallFunction("throws", 1), 0);
  EXPECT_EQ(engine->ErrorText(), "native failure"_s);
  Run("ok, message = pcall(throws)");
  Run("function msg() return message end");
  ASSERT_EQ(engine->CallFunction("msg", 1), 1);
  EXPECT_EQ(engine->StringResult(), "native failure"_s);
}

TEST_F(ScriptEngineTest, NativeFunctionsThatStopOrRestartTheEngine) {
  // The call goes on in the state it started in and gives its result; the
  // state is closed once it has returned.
  engine->RegisterFunction(NativeStops, "stop");
  Run("function f(x) stop() local t = {} for i = 1, 1000 do t[i] = i end return #t + x end "
      "function g() stop() error('after stop') end");
  engine->AddNumberArg(1);
  ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 1001);
  EXPECT_EQ(engine->IsStarted(), 0);
  EXPECT_EQ(engine->CallFunction("f", 1), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Engine is not started"_s);

  engine->Start();
  engine->RegisterFunction(NativeStops, "stop");
  Run("function g() stop() error('after stop', 0) end");
  EXPECT_EQ(engine->CallFunction("g", 0), 0);
  EXPECT_EQ(engine->ErrorText(), "after stop"_s);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->IsStarted(), 0);

  engine->Start();
  engine->RegisterFunction(NativeStops, "stop");
  ASSERT_EQ(engine->LoadScript("stop() x = 1"), 1);
  EXPECT_EQ(engine->RunScript(), 1);
  EXPECT_EQ(engine->IsStarted(), 0);

  // A restart inside a call leaves the fresh state, without the old globals.
  engine->Start();
  engine->RegisterFunction(NativeRestarts, "restart");
  Run("function h() restart() return 'old' end");
  ASSERT_EQ(engine->CallFunction("h", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->StringResult(), "old"_s);
  EXPECT_EQ(engine->IsStarted(), 1);
  EXPECT_EQ(Top(), 0);
  EXPECT_EQ(engine->CallFunction("h", 1), 0);
  Run("function h() return 'new' end");
  ASSERT_EQ(engine->CallFunction("h", 1), 1);
  EXPECT_EQ(engine->StringResult(), "new"_s);
}

TEST_F(ScriptEngineTest, ACallMadeWhileTheOuterOneLooksUpItsFunction) {
  // The globals' __index runs before the outer call has pushed its string
  // arguments; a call made from there must not touch the ones it pushes.
  engine->RegisterFunction(NativeCallsWithStrings, "inner");
  Run("function count(...) return select('#', ...) end "
      "setmetatable(_G, {__index = function(t, k) local n = inner() "
      "return function(a, b) return tostring(a) .. '|' .. tostring(b) .. '|' .. n end end})");
  engine->ClearArgs();
  engine->AddStringArg("first argument text");
  engine->AddStringArg("second argument text");
  ASSERT_EQ(engine->CallFunction("missing", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->StringResult(), "first argument text|second argument text|50"_s);
  EXPECT_EQ(Top(), 0);
}

TEST_F(ScriptEngineTest, NativeFunctionsReturningMoreThanTheyPushedRaise) {
  // Lua would take the count and read below the function's frame.
  engine->RegisterFunction(NativeReturnsTooMany, "many");
  engine->RegisterFunction(NativeReturnsNegative, "negative");
  engine->RegisterFunction(NativeYields, "yields");
  Run("function f() local a, b = many(1) return tostring(a) .. tostring(b) end function g() return negative() end "
      "function h() local co = coroutine.wrap(function() local v = yields() return v end) return co() end");
  EXPECT_EQ(engine->CallFunction("f", 1), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: a native function returned 50 results with 1 values on its stack"_s);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->CallFunction("g", 1), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: a native function returned -1 results with 0 values on its stack"_s);
  // lua_yield's own negative count still yields.
  ASSERT_EQ(engine->CallFunction("h", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 7);
  EXPECT_EQ(Top(), 0);
}

TEST_F(ScriptEngineTest, ArgumentIndexesOutsideTheFrameRaiseTheArgumentError) {
  engine->RegisterFunction(NativeArgumentAt, "at");
  Run("function f(index, kind) return at(index, kind, 33) end");
  for (int kind = 0; kind < 3; ++kind) {
    for (int index : {0, -4, -1000}) {
      engine->ClearArgs();
      engine->AddNumberArg(index);
      engine->AddNumberArg(kind);
      EXPECT_EQ(engine->CallFunction("f", 1), 0) << index;
      EXPECT_NE(engine->ErrorText().ToStd().find("no argument at this index"), std::string::npos)
          << engine->ErrorText().ToStd();
      EXPECT_EQ(Top(), 0);
    }
    // A pseudo-index names no upvalue of this function: Lua's own check.
    engine->ClearArgs();
    engine->AddNumberArg(-10000000);
    engine->AddNumberArg(kind);
    EXPECT_EQ(engine->CallFunction("f", 1), 0);
    // Indexes inside the frame, from either end.
    for (int index : {3, -1}) {
      engine->ClearArgs();
      engine->AddNumberArg(index);
      engine->AddNumberArg(kind);
      ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
      if (kind == 1) {
        EXPECT_EQ(engine->ResultType(), ScriptResultNumber);  // "33" is numeric
      }
      EXPECT_EQ(engine->NumberResult(), 33);
    }
  }
}

TEST_F(ScriptEngineTest, NativeFunctionsPushingMoreThanAStackHoldsRaise) {
  engine->RegisterFunction(NativePushesMany, "many");
  Run("function f(n) local a, b, c = many(n) return tostring(a) .. tostring(b) .. tostring(c) end");
  // Beyond the room a C function is given, the stack grows ...
  engine->AddNumberArg(2000);
  ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->StringResult(), "1999strue"_s);
  // ... up to what a Lua stack holds; then the call fails, and the state goes on.
  engine->ClearArgs();
  engine->AddNumberArg(200000);
  EXPECT_EQ(engine->CallFunction("f", 1), 0);
  EXPECT_NE(engine->ErrorText().ToStd().find("ScriptEngine: Lua stack overflow"), std::string::npos)
      << engine->ErrorText().ToStd();
  EXPECT_EQ(Top(), 0);
  engine->ClearArgs();
  engine->AddNumberArg(5);
  ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->StringResult(), "4strue"_s);
}

TEST_F(ScriptEngineTest, GlobalsMetamethodErrorsAreReportedNotFatal) {
  Run("setmetatable(_G, {__index = function(t, k) error('no global ' .. k) end, "
      "__newindex = function(t, k, v) error('frozen') end})");
  EXPECT_EQ(engine->CallFunction("missing", 1), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_NE(engine->ErrorText().ToStd().find("no global missing"), std::string::npos);
  engine->RegisterFunction(NativeAdd, "add");
  EXPECT_NE(engine->ErrorText().ToStd().find("frozen"), std::string::npos);
  EXPECT_EQ(Top(), 0);
}

// A userdata whose __gc calls the global native named action. The collector is
// held until the test lets it go, so that the finaliser runs where the test
// wants: in a push made between calls, or in closing the state.
class ScriptFinaliserTest : public ScriptEngineTest {
 protected:
  void Arm(const char* action) {
    engine->RegisterFunction(NativeStops, "stop");
    engine->RegisterFunction(NativeRestarts, "restart");
    engine->RegisterFunction(NativeRaises, "raise");
    Run("function arm(action) collectgarbage('stop') "
        "local p = newproxy(true) getmetatable(p).__gc = function() _G[action]() end end");
    engine->ClearArgs();
    engine->AddStringArg(action);
    ASSERT_EQ(engine->CallFunction("arm", 0), 1) << engine->ErrorText().ToStd();
    engine->ClearArgs();
  }
  // Pushes new strings between calls, the collector running again, until the
  // engine stops or keeps another error; the number of pushes made.
  int PushUntilTheFinaliserRuns() {
    lua_State* const L = engine->state;
    const String error = engine->ErrorText();
    lua_gc(L, LUA_GCRESTART, 0);
    for (int i = 1; i <= 200000; ++i) {
      engine->PushString(L, "text "_s + String::OfInt(i));
      if (!engine->IsStarted() || engine->ErrorText() != error) return i;
      lua_settop(L, 0);
    }
    return 0;
  }
};

TEST_F(ScriptFinaliserTest, NativesStoppingOrRaisingFromAFinaliserBetweenCalls) {
  // No protected call runs: the stop takes effect, and the state is closed
  // once the push that ran the collector is over.
  Arm("stop");
  EXPECT_GT(PushUntilTheFinaliserRuns(), 0);
  EXPECT_EQ(engine->IsStarted(), 0);
  EXPECT_EQ(engine->CallFunction("arm", 0), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Engine is not started"_s);
  engine->Start();
  Run("function f() return 5 end");
  ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 5);

  // The error becomes the engine's error; the push itself is made.
  Arm("raise");
  const int pushes = PushUntilTheFinaliserRuns();
  ASSERT_GT(pushes, 0);
  EXPECT_EQ(engine->IsStarted(), 1);
  EXPECT_TRUE(engine->ErrorText().ToStd().ends_with(": finaliser failure")) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  ASSERT_EQ(Top(), 1);
  EXPECT_EQ(String(lua_tostring(engine->state, 1)), "text "_s + String::OfInt(pushes));
  lua_settop(engine->state, 0);
  ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 5);
}

TEST_F(ScriptFinaliserTest, FinalisersRaisingInAPushBetweenCalls) {
  // The finaliser's own error is the engine's error, and the push is made.
  ArmForTheNextAllocation("error('finaliser failure', 0)");
  engine->PushString(engine->state, "pushed text");
  EXPECT_EQ(engine->ErrorText(), "finaliser failure"_s);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  ASSERT_EQ(Top(), 1);
  EXPECT_STREQ(lua_tostring(engine->state, 1), "pushed text");
  lua_settop(engine->state, 0);
  // So is a native's stop: the engine stops, and the state closes later.
  ArmForTheNextAllocation("stop()");
  engine->PushString(engine->state, "more text");
  EXPECT_EQ(engine->IsStarted(), 0);
}

TEST_F(ScriptFinaliserTest, NativesStoppingRestartingOrRaisingWhileTheStateCloses) {
  // Stop closes the state, which runs the finaliser: the engine is stopped already.
  Arm("stop");
  engine->Stop();
  EXPECT_EQ(engine->IsStarted(), 0);
  // A restart from there leaves the new state started.
  engine->Start();
  Arm("restart");
  engine->Stop();
  EXPECT_EQ(engine->IsStarted(), 1);
  Run("function f() return 6 end");
  ASSERT_EQ(engine->CallFunction("f", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 6);
  // Start closes the state it replaces; a stop from its finaliser does not
  // stop the new one.
  Arm("stop");
  engine->Start();
  EXPECT_EQ(engine->IsStarted(), 1);
  // An error raised in closing is kept.
  Arm("raise");
  engine->Stop();
  EXPECT_EQ(engine->ErrorText(), "finaliser failure"_s);
  EXPECT_EQ(engine->IsStarted(), 0);
}

TEST_F(ScriptFinaliserTest, NativesStoppingTheEngineFromAFinaliserWhileItLoadsOrPreparesACall) {
  // The chunk was compiled in the state the engine has let go of: nothing is loaded.
  ArmForTheNextAllocation("stop()");
  EXPECT_EQ(engine->LoadScript("return 1"), 0);
  EXPECT_EQ(engine->ErrorText(), "ScriptEngine: Engine is not started"_s);
  EXPECT_EQ(engine->IsStarted(), 0);
  EXPECT_EQ(engine->RunScript(), 0);

  // The first call in a state stores what its calls use; the call goes on in
  // that state and gives its result, as when a native stops the engine in it.
  engine->Start();
  ArmForTheNextAllocation("stop()");
  engine->AddStringArg("7");
  ASSERT_EQ(engine->CallFunction("tonumber", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 7);
  EXPECT_EQ(engine->IsStarted(), 0);
  engine->Start();
  ASSERT_EQ(engine->CallFunction("tonumber", 1), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(engine->NumberResult(), 7);

  // An error there is kept, and the load goes on.
  ArmForTheNextAllocation("raise()");
  EXPECT_EQ(engine->LoadScript("return 1"), 1);
  EXPECT_EQ(engine->ErrorText(), "finaliser failure"_s);
  EXPECT_EQ(engine->RunScript(), 1);
}

class ScriptFileTest : public ScriptEngineTest {
 protected:
  void SetUp() override {
    ScriptEngineTest::SetUp();
    char pattern[] = "/tmp/corvex-script-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    for (const std::string& file : files) unlink(file.c_str());
    rmdir(dir.c_str());
    ScriptEngineTest::TearDown();
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::ofstream(path) << text;
    files.push_back(path);
    return path;
  }
  std::string dir;
  std::vector<std::string> files;
};

TEST_F(ScriptFileTest, RunFileDefinesFunctions) {
  const std::string path = Write("ok.lua", "function square(x) return x * x end\nreturn 1, 2, 3\n");
  ASSERT_EQ(engine->RunFile(path.c_str()), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(Top(), 0);  // the file's results are dropped
  engine->AddNumberArg(9);
  ASSERT_EQ(engine->CallFunction("square", 1), 1);
  EXPECT_EQ(engine->NumberResult(), 81);
}

TEST_F(ScriptFileTest, RunFileErrors) {
  const std::string syntax = Write("syntax.lua", "x = \n");
  EXPECT_EQ(engine->RunFile(syntax.c_str()), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRSYNTAX);
  EXPECT_EQ(engine->ErrorText().ToStd(), syntax + ":2: unexpected symbol near '<eof>'");

  const std::string fails = Write("fails.lua", "local a = 1\nerror('in file')\n");
  EXPECT_EQ(engine->RunFile(fails.c_str()), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->ErrorText().ToStd(), fails + ":2: in file");

  const std::string missing = dir + "/missing.lua";
  EXPECT_EQ(engine->RunFile(missing.c_str()), 0);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRFILE);
  EXPECT_EQ(engine->ErrorText().ToStd(), "cannot open " + missing + ": No such file or directory");
  EXPECT_EQ(Top(), 0);
}

TEST_F(ScriptFileTest, FinalisersRaisingWhileAFileLoads) {
  // The loader makes the file's name as a Lua string before it protects
  // anything; an error of a finaliser run there is the call's error.
  ArmForTheNextAllocation("error('finaliser failure', 0)");
  EXPECT_EQ(engine->RunFile((dir + "/missing.lua").c_str()), 0);
  EXPECT_EQ(engine->ErrorText(), "finaliser failure"_s);
  EXPECT_EQ(engine->ErrorCode(), LUA_ERRRUN);
  EXPECT_EQ(engine->IsStarted(), 1);
  const std::string path = Write("ok.lua", "loaded = 3\n");
  ASSERT_EQ(engine->RunFile(path.c_str()), 1) << engine->ErrorText().ToStd();
  EXPECT_EQ(Top(), 0);
}

TEST(LuaConveniences, MatchTheHeaderMacros) {
  lua_State* L = luaL_newstate();
  ASSERT_NE(L, nullptr);
  lua_pushboolean(L, 1);
  lua_newtable(L);
  EXPECT_EQ(lua_isboolean(L, 1), 1);
  EXPECT_EQ(lua_istable(L, 2), 1);
  EXPECT_EQ(lua_istable(L, 1), 0);
  lua_pop(L, 2);
  EXPECT_EQ(lua_gettop(L), 0);
  lua_pushnumber(L, 42);
  lua_setglobal(L, "answer");
  EXPECT_EQ(lua_gettop(L), 0);
  lua_getglobal(L, "answer");
  EXPECT_EQ(lua_tonumber(L, -1), 42);
  lua_pop(L, 1);
  lua_register(L, "native", [](lua_State* S) -> int {
    lua_pushnumber(S, luaL_checkint(S, 1) * 2);
    lua_pushstring(S, luaL_checkstring(S, 2));
    return 2;
  });
  ASSERT_EQ(luaL_loadstring(L, "return native(-7.8, 'x')"), 0);
  ASSERT_EQ(lua_pcall(L, 0, 2, 0), 0);
  EXPECT_EQ(lua_tonumber(L, -2), -14);
  EXPECT_STREQ(lua_tostring(L, -1), "x");
  lua_close(L);
}

}  // namespace
}  // namespace cvx
