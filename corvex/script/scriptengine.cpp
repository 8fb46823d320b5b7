// The script engine over one Lua state.
//
// Lua reports errors with longjmp, which must never cross a C++ frame that
// still has objects to destroy, and C++ exceptions must never unwind through
// Lua's C frames. So every Lua call that may raise runs in protected mode
// (lua_pcall / lua_cpcall), and native functions are entered through a guard
// that turns their exceptions into Lua errors.
#include "corvex/script/scriptengine.h"

#include <cstdio>
#include <exception>
#include <typeinfo>
#include <vector>

#include "corvex/runtime/error.h"
#include "corvex/stream/url.h"

namespace cvx {
namespace {

// Opens the standard libraries, each called as a Lua function with its name.
int OpenLibraries(lua_State* L) {
  static const luaL_Reg libraries[] = {
      {"", luaopen_base},
      {LUA_TABLIBNAME, luaopen_table},
      {LUA_IOLIBNAME, luaopen_io},
      {LUA_STRLIBNAME, luaopen_string},
      {LUA_MATHLIBNAME, luaopen_math},
  };
  for (const luaL_Reg& library : libraries) {
    lua_pushcfunction(L, library.func);
    lua_pushstring(L, library.name);
    lua_call(L, 1, 0);
  }
  return 0;
}

// Stack: name, value.
int SetGlobalProtected(lua_State* L) {
  lua_settable(L, LUA_GLOBALSINDEX);
  return 0;
}

// Upvalue 1: a userdata holding the native function.
int NativeGuard(lua_State* L) {
  // Only trivially destructible objects live in this frame: a Lua error
  // raised inside fn jumps straight over it.
  char message[512];
  message[0] = '\0';
  lua_CFunction fn = *static_cast<lua_CFunction*>(lua_touserdata(L, lua_upvalueindex(1)));
  try {
    return fn(L);
  } catch (const std::exception& error) {  // TRuntimeError and the stream errors among them
    std::snprintf(message, sizeof message, "%s", error.what());
  } catch (...) {
    std::snprintf(message, sizeof message, "%s", "Unknown native exception");
  }
  lua_pushstring(L, message);
  return lua_error(L);
}

// The registry key under which a string result waits until it is copied
// out: it must stay referenced after the protected call has returned.
char stringResultKey;

// One queued argument, already in the form Lua takes.
struct CallArgument {
  int kind;
  double number;
  int flag;
  const char* text;
};

// What CallFunction hands to the protected call, and what comes back.
// Only trivially destructible members: a Lua error jumps over the call.
struct CallRequest {
  const char* name;
  const CallArgument* arguments;
  int count;
  int resultCount;
  bool overflow;
  int resultType;
  double number;
  int flag;
};

// Runs under lua_cpcall with the request as its light userdata: every Lua
// step of a call (reading the global, pushing the arguments, calling, reading
// the result) may raise, and here each error becomes the status of the
// protected call. The results are dropped when it returns; a string result
// is kept in the registry for the caller to copy.
int CallProtected(lua_State* L) {
  auto* call = static_cast<CallRequest*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  // The stack only grows on request; more arguments than it can take fail
  // the call instead of writing past it.
  if (!lua_checkstack(L, call->count + 2)) {
    call->overflow = true;
    return 0;
  }
  lua_getglobal(L, call->name);
  for (int i = 0; i < call->count; ++i) {
    const CallArgument& argument = call->arguments[i];
    switch (argument.kind) {
      case ScriptArgNumber:
        lua_pushnumber(L, argument.number);
        break;
      case ScriptArgString:
        lua_pushstring(L, argument.text);
        break;
      default:
        lua_pushboolean(L, argument.flag);
        break;
    }
  }
  lua_call(L, call->count, call->resultCount);
  if (call->resultCount == 0 || lua_gettop(L) == 0) return 0;
  if (lua_isnumber(L, -1)) {
    call->resultType = ScriptResultNumber;
    call->number = lua_tonumber(L, -1);
  } else if (lua_isboolean(L, -1)) {
    call->resultType = ScriptResultBool;
    call->flag = lua_toboolean(L, -1);
  } else if (lua_isstring(L, -1)) {
    call->resultType = ScriptResultString;
    lua_pushlightuserdata(L, &stringResultKey);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
  }
  return 0;
}

// The text of the value on top of L ("" when it is not a string). A text
// longer than the runtime's strings can hold gives the conversion's error.
String TopText(lua_State* L) {
  if (lua_gettop(L) == 0 || !lua_isstring(L, -1)) return String();
  try {
    return String(lua_tostring(L, -1));
  } catch (const std::exception& error) {
    return "ScriptEngine: "_s + String(error.what());
  }
}

}  // namespace

TScriptEngine::TScriptEngine() {
  // Virtual calls made from here reach this class's Start only, so a derived
  // engine's Start runs on the engine's first use instead (StartIfPending).
  TScriptEngine::Start();
  startPending_ = true;
}

void TScriptEngine::StartIfPending() {
  if (!startPending_) return;
  startPending_ = false;
  // The constructor already ran this class's Start; running it again would
  // only throw that state away.
  if (typeid(*this) != typeid(TScriptEngine)) Start();
}

TScriptEngine::~TScriptEngine() {
  if (state) lua_close(state);
}

void TScriptEngine::Start() {
  startPending_ = false;
  if (state) lua_close(state);
  state = nullptr;
  chunkRef_ = LUA_NOREF;
  started = 0;
  lua_State* L = luaL_newstate();
  if (!L) return;
  if (lua_cpcall(L, OpenLibraries, nullptr) != 0) {
    lua_close(L);
    return;
  }
  lua_settop(L, 0);
  state = L;
  started = 1;
}

void TScriptEngine::PushString(lua_State* L, const String& s) {
  if (started) lua_pushstring(L, s.AsAnsi().get());
}

void TScriptEngine::PushNumber(lua_State* L, double d) {
  if (started) lua_pushnumber(L, d);
}

void TScriptEngine::PushBool(lua_State* L, int b) {
  if (started) lua_pushboolean(L, b);
}

void TScriptEngine::RegisterFunction(lua_CFunction fn, const String& name) {
  StartIfPending();
  if (!started || !fn || !lua_checkstack(state, 3)) return;
  const int top = lua_gettop(state);
  lua_pushcfunction(state, SetGlobalProtected);
  lua_pushstring(state, name.AsAnsi().get());
  *static_cast<lua_CFunction*>(lua_newuserdata(state, sizeof(lua_CFunction))) = fn;
  lua_pushcclosure(state, NativeGuard, 1);
  // A __newindex of the globals table may raise.
  const int status = lua_pcall(state, 2, 0, 0);
  if (status != 0) {
    SetError(status);
    return;
  }
  lua_settop(state, top);
}

void TScriptEngine::ClearArgs() {
  args->RemoveAll();
  resultType = ScriptResultNone;
  stringResult = String();
  numberResult = 0;
  boolResult = 0;
}

String TScriptEngine::GetString(lua_State* L, int index) {
  const char* text = luaL_checkstring(L, index);
  return String(text);
}

double TScriptEngine::GetNumber(lua_State* L, int index) { return luaL_checknumber(L, index); }

int TScriptEngine::GetInt(lua_State* L, int index) { return luaL_checkint(L, index); }

void TScriptEngine::AddStringArg(const String& s) {
  Ref<TScriptArg> arg = new TScriptArg();
  arg->kind = ScriptArgString;
  arg->text = s;
  args->PushBack(arg);
}

void TScriptEngine::AddNumberArg(double d) {
  Ref<TScriptArg> arg = new TScriptArg();
  arg->kind = ScriptArgNumber;
  arg->number = d;
  args->PushBack(arg);
}

void TScriptEngine::AddBoolArg(int b) {
  Ref<TScriptArg> arg = new TScriptArg();
  arg->kind = ScriptArgBool;
  arg->flag = b;
  args->PushBack(arg);
}

struct TScriptEngine::CallScratch {
  String name;
  AnsiText nameText;
  std::vector<AnsiText> texts;
  std::vector<CallArgument> arguments;
};

namespace {

// The registry key of the engine's protected-call function: made once per
// state, so that a call does not build a new C closure as lua_cpcall does.
char callProtectedKey;

// lua_cpcall (CallProtected, call) without its closure: the same protected
// call, the same status codes.
// Stores CallProtected under its key (run protected: the store may allocate).
int StoreCallProtected(lua_State* L) {
  lua_pushlightuserdata(L, &callProtectedKey);
  lua_pushcfunction(L, CallProtected);
  lua_rawset(L, LUA_REGISTRYINDEX);
  return 0;
}

int RunCallProtected(lua_State* L, CallRequest* call) {
  if (!lua_checkstack(L, 2)) return LUA_ERRMEM;
  lua_pushlightuserdata(L, &callProtectedKey);
  lua_rawget(L, LUA_REGISTRYINDEX);
  if (!lua_isfunction(L, -1)) {
    lua_pop(L, 1);
    if (int status = lua_cpcall(L, StoreCallProtected, nullptr); status != 0) return status;
    lua_pushlightuserdata(L, &callProtectedKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
  }
  lua_pushlightuserdata(L, call);
  return lua_pcall(L, 1, 0, 0);
}

}  // namespace

int TScriptEngine::CallFunction(const String& name, int resultCount) {
  StartIfPending();
  if (!started) {
    SetEngineError("ScriptEngine: Engine is not started"_s);
    return 0;
  }
  // Whatever the call leaves (results that are not read, values the
  // function pushed) goes again: the stack ends where it began.
  const int base = lua_gettop(state);
  CallRequest call{};
  if (!scratch_) scratch_ = std::make_unique<CallScratch>();
  CallScratch& scratch = *scratch_;
  scratch.texts.clear();
  scratch.arguments.clear();
  // The conversions to Lua's byte strings may fail; nothing has touched the
  // state yet then.
  try {
    if (!scratch.nameText || (scratch.name.Body() != name.Body() && scratch.name != name)) {
      scratch.nameText = name.AsAnsi();
      scratch.name = name;
    }
    for (Ref<TListNode> node = args->FrontNode(); node; node = node->NextNode()) {
      // Queued arguments are TScriptArg objects themselves nearly always: the
      // exact type answers before the class-tree walk of a cast.
      TObject* item = node->Item().Get();
      auto* arg = item && typeid(*item) == typeid(TScriptArg) ? static_cast<TScriptArg*>(item) : As<TScriptArg>(item);
      if (!arg) continue;
      if (arg->kind != ScriptArgNumber && arg->kind != ScriptArgString && arg->kind != ScriptArgBool) continue;
      const char* text = nullptr;
      if (arg->kind == ScriptArgString) {
        scratch.texts.push_back(arg->text.AsAnsi());
        text = scratch.texts.back().get();
      }
      scratch.arguments.push_back(CallArgument{arg->kind, arg->number, arg->flag, text});
    }
  } catch (const std::exception& error) {
    // A name whose conversion failed half way is not kept.
    scratch.name = String();
    scratch.nameText.reset();
    SetEngineError("ScriptEngine: "_s + String(error.what()));
    return 0;
  }
  call.name = scratch.nameText.get();
  call.arguments = scratch.arguments.data();
  call.count = static_cast<int>(scratch.arguments.size());
  // Any negative count asks for every result, as LUA_MULTRET does.
  call.resultCount = resultCount < 0 ? LUA_MULTRET : resultCount;
  call.resultType = ScriptResultNone;
  const int status = RunCallProtected(state, &call);
  if (status != 0) {
    SetError(status);
    return 0;
  }
  lua_settop(state, base);
  if (call.overflow) {
    SetEngineError("ScriptEngine: Lua stack overflow"_s);
    return 0;
  }
  switch (call.resultType) {
    case ScriptResultNumber:
      resultType = ScriptResultNumber;
      numberResult = call.number;
      break;
    case ScriptResultBool:
      resultType = ScriptResultBool;
      boolResult = call.flag;
      break;
    case ScriptResultString: {
      // Neither the light key nor the nil store allocates, so none of these
      // unprotected steps can raise.
      lua_pushlightuserdata(state, &stringResultKey);
      lua_rawget(state, LUA_REGISTRYINDEX);
      bool converted = true;
      try {
        stringResult = String(lua_tostring(state, -1));
      } catch (const std::exception& error) {
        SetEngineError("ScriptEngine: "_s + String(error.what()));
        converted = false;
      }
      lua_settop(state, base);
      lua_pushlightuserdata(state, &stringResultKey);
      lua_pushnil(state);
      lua_rawset(state, LUA_REGISTRYINDEX);
      if (!converted) return 0;
      resultType = ScriptResultString;
      break;
    }
    default:
      break;
  }
  return 1;
}

int TScriptEngine::ResultType() { return resultType; }
double TScriptEngine::NumberResult() { return numberResult; }
int TScriptEngine::BoolResult() { return boolResult; }
String TScriptEngine::StringResult() { return stringResult; }

void TScriptEngine::SetError(int code) {
  // lua_isstring also accepts numbers, which lua_tostring then converts.
  errorText = TopText(state);
  errorCode = code;
  lua_settop(state, 0);
}

bool TScriptEngine::HasRoom(int slots) {
  if (lua_checkstack(state, slots)) return true;
  SetEngineError("ScriptEngine: Lua stack overflow"_s);
  return false;
}

void TScriptEngine::SetEngineError(const String& text) {
  errorText = text;
  errorCode = 0;
}

int TScriptEngine::LoadScript(const String& text) {
  StartIfPending();
  if (!started) {
    SetEngineError("ScriptEngine: Engine is not started"_s);
    return 0;
  }
  script = String();
  if (!HasRoom(2)) return 0;
  // A chunk loaded before and never run is replaced, not stacked up under the
  // new one, when it still lies on top.
  if (chunkRef_ != LUA_NOREF && lua_gettop(state) > 0) {
    lua_rawgeti(state, LUA_REGISTRYINDEX, chunkRef_);
    lua_pop(state, lua_rawequal(state, -1, -2) ? 2 : 1);
  }
  luaL_unref(state, LUA_REGISTRYINDEX, chunkRef_);
  chunkRef_ = LUA_NOREF;
  const AnsiText bytes = text.AsAnsi();
  const int status = luaL_loadbuffer(state, bytes.get(), static_cast<size_t>(text.Length()), bytes.get());
  if (status != 0) {
    SetError(status);
    return 0;
  }
  // The chunk stays on the stack; a copy in the registry lets RunScript find
  // it again after the stack has changed.
  lua_pushvalue(state, -1);
  chunkRef_ = luaL_ref(state, LUA_REGISTRYINDEX);
  script = text;
  return 1;
}

int TScriptEngine::RunFile(const String& path) {
  StartIfPending();
  if (!started) {
    SetEngineError("ScriptEngine: Engine is not started"_s);
    return 0;
  }
  if (!HasRoom(1)) return 0;
  const int top = lua_gettop(state);
  // The real status of each step (luaL_dofile itself only answers 0 or 1).
  int status = luaL_loadfile(state, path.AsAnsi().get());
  if (status == 0) status = lua_pcall(state, 0, 0, 0);
  if (status != 0) {
    SetError(status);
    return 0;
  }
  lua_settop(state, top);
  return 1;
}

int TScriptEngine::RunScript() {
  StartIfPending();
  if (!started) {
    SetEngineError("ScriptEngine: Engine is not started"_s);
    return 0;
  }
  if (script.IsEmpty() || chunkRef_ == LUA_NOREF) {
    SetEngineError("ScriptEngine: No script text to execute"_s);
    return 0;
  }
  if (!HasRoom(1)) return 0;
  // The chunk LoadScript left on the stack is taken off when it is still on
  // top; otherwise (a second run, or the stack changed since) the kept copy runs.
  lua_rawgeti(state, LUA_REGISTRYINDEX, chunkRef_);
  if (lua_gettop(state) >= 2 && lua_rawequal(state, -1, -2)) lua_remove(state, -2);
  const int status = lua_pcall(state, 0, 0, 0);
  if (status != 0) {
    SetError(status);
    return 0;
  }
  return 1;
}

String TScriptEngine::ErrorText() { return errorText; }
int TScriptEngine::ErrorCode() { return errorCode; }

void TScriptEngine::Stop() {
  startPending_ = false;
  if (state) {
    lua_close(state);
    state = nullptr;
  }
  chunkRef_ = LUA_NOREF;
  started = 0;
}

int TScriptEngine::IsStarted() {
  StartIfPending();
  return started;
}

void InitScriptEngine() {
  static bool done = false;
  if (done) return;
  done = true;
  InitLua();
  InitList();
  InitStream();
}

}  // namespace cvx
