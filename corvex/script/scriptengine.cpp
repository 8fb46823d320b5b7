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

// Pushes the text (a light userdata) as a Lua string, for a push made where
// no call protects it.
int PushTextProtected(lua_State* L) {
  lua_pushstring(L, static_cast<const char*>(lua_touserdata(L, 1)));
  return 1;
}

// Opens the standard libraries, each called as a Lua function with its name,
// and keeps PushTextProtected in the registry (its reference in the int the
// light userdata points to).
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
  lua_pushcfunction(L, PushTextProtected);
  *static_cast<int*>(lua_touserdata(L, 1)) = luaL_ref(L, LUA_REGISTRYINDEX);
  return 0;
}

// What RegisterFunction hands to its protected call.
struct Registration {
  const char* name;
  lua_CFunction fn;
  void* engine;
  lua_CFunction guard;
};

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
  // Registry slot that keeps the name as a Lua string, so that later calls
  // find the function without making the string; filled when nameStored is
  // set, which then becomes true. It is set the moment the slot is written: a
  // call made from inside this one may store another name.
  int nameRef;
  bool* nameStored;
  bool overflow;
};

// Pushes the queued arguments; room for them has been checked. Only the
// strings allocate (and so may raise).
void PushArguments(lua_State* L, const CallRequest& call) {
  for (int i = 0; i < call.count; ++i) {
    const CallArgument& argument = call.arguments[i];
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
}

// The general call, run by lua_pcall with the request (light userdata) and
// the caller's globals table: every step that may raise (making the name's
// string, a metamethod of the globals, pushing string arguments, the call)
// raises inside it, and each error becomes the status of the protected call.
// Its own results are the function's.
int CallProtected(lua_State* L) {
  auto* call = static_cast<CallRequest*>(lua_touserdata(L, 1));
  // The stack only grows on request; more arguments than it can take fail
  // the call instead of writing past it.
  if (!lua_checkstack(L, call->count + 2 + (call->resultCount > 0 ? call->resultCount : 0))) {
    call->overflow = true;
    return 0;
  }
  lua_pushstring(L, call->name);
  if (call->nameStored) {
    lua_pushvalue(L, -1);
    lua_rawseti(L, LUA_REGISTRYINDEX, call->nameRef);
    *call->nameStored = true;
  }
  lua_gettable(L, 2);
  lua_replace(L, 1);
  lua_settop(L, 1);
  PushArguments(L, *call);
  lua_call(L, call->count, call->resultCount);
  return lua_gettop(L);
}

// The registry references a state's calls use, made once per state.
struct CallRefs {
  int call;
  int name;
};

// What RunFile hands to its protected call, and the status of the load.
struct FileRun {
  const char* path;
  int loadStatus;
};

// Loads and runs the file, under lua_cpcall: luaL_loadfile makes strings
// outside its own protection, and so may run a finaliser that raises.
int RunFileProtected(lua_State* L) {
  auto* run = static_cast<FileRun*>(lua_touserdata(L, 1));
  run->loadStatus = luaL_loadfile(L, run->path);
  if (run->loadStatus != 0) return lua_error(L);
  lua_call(L, 0, 0);
  return 0;
}

// Runs under lua_cpcall (luaL_ref may allocate).
int StoreCallRefs(lua_State* L) {
  auto* refs = static_cast<CallRefs*>(lua_touserdata(L, 1));
  lua_pushcfunction(L, CallProtected);
  refs->call = luaL_ref(L, LUA_REGISTRYINDEX);
  lua_pushboolean(L, 0);
  refs->name = luaL_ref(L, LUA_REGISTRYINDEX);
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

// The queued argument item is, or null when it is none that a call passes.
// Queued arguments are TScriptArg objects themselves nearly always: the exact
// type answers before the class-tree walk of a cast.
[[gnu::always_inline]] inline const TScriptArg* QueuedArgument(TObject* item) {
  auto* arg = item && typeid(*item) == typeid(TScriptArg) ? static_cast<TScriptArg*>(item) : As<TScriptArg>(item);
  if (!arg) return nullptr;
  const bool known = arg->kind == ScriptArgNumber || arg->kind == ScriptArgString || arg->kind == ScriptArgBool;
  return known ? arg : nullptr;
}

// How the direct call ends when it is not made.
constexpr int kNotDirect = -1;
constexpr int kDirectOverflow = -2;

// The stack slots the direct call asks for at a time, as it pushes.
constexpr int kDirectSlots = 8;

// The call as a C program makes it: the function found by its stored name,
// the number and boolean arguments pushed straight from the queue, lua_pcall.
// None of these steps allocates (apart from growing the stack) or runs Lua
// code, so none can raise outside protection. A raw hit is what a lookup
// through the globals' metatable gives too (__index only answers for a
// missing key). A missing function and string arguments (which allocate) are
// left to the general call: the answer is then kNotDirect, with the stack as
// it was (base, its top). Otherwise lua_pcall's status, or kDirectOverflow when the
// arguments do not fit.
int CallDirect(lua_State* L, int base, TList* queue, int nameRef, int resultCount) {
  const int resultSlots = resultCount > 0 ? resultCount : 0;
  if (!lua_checkstack(L, 1 + kDirectSlots + resultSlots)) return kDirectOverflow;
  lua_rawgeti(L, LUA_REGISTRYINDEX, nameRef);
  lua_rawget(L, LUA_GLOBALSINDEX);
  if (lua_type(L, -1) == LUA_TNIL) {
    lua_settop(L, base);
    return kNotDirect;
  }
  int count = 0;
  int room = kDirectSlots;
  // A plain walk: nothing here runs Corvex code that could change the queue.
  for (TObject* item : Each<TObject>(queue)) {
    const TScriptArg* arg = QueuedArgument(item);
    if (!arg) continue;
    if (arg->kind == ScriptArgString) {
      lua_settop(L, base);
      return kNotDirect;
    }
    if (room == 0) {
      if (!lua_checkstack(L, kDirectSlots + resultSlots)) {
        lua_settop(L, base);
        return kDirectOverflow;
      }
      room = kDirectSlots;
    }
    --room;
    if (arg->kind == ScriptArgNumber) {
      lua_pushnumber(L, arg->number);
    } else {
      lua_pushboolean(L, arg->flag);
    }
    ++count;
  }
  return lua_pcall(L, count, resultCount, 0);
}

}  // namespace

// Upvalues 1 and 2: a userdata holding the native function and the engine (a
// light userdata); upvalue 3, on the function the globals hold, the same
// guard without it, which is what runs when no call of the engine protects
// the native.
int TScriptEngine::NativeGuard(lua_State* L) {
  auto* engine = static_cast<TScriptEngine*>(lua_touserdata(L, lua_upvalueindex(2)));
  if (engine->protected_ == 0 && lua_type(L, lua_upvalueindex(3)) == LUA_TFUNCTION) {
    // Nothing would catch a Lua error here: the collector runs finalisers at
    // any allocation, also one made between calls or in closing the state,
    // and an unprotected error ends the program. So the native runs in a
    // protected call of its own; its error becomes the engine's error and it
    // gives no results. A stop or restart it asks for takes effect at once,
    // but the old state is closed only once the engine runs no Lua code
    // (the push or the close under way is still inside it).
    if (!lua_checkstack(L, 1)) {
      engine->errorText = "ScriptEngine: Lua stack overflow"_s;
      engine->errorCode = 0;
      lua_settop(L, 0);
      return 0;
    }
    lua_pushvalue(L, lua_upvalueindex(3));
    lua_insert(L, 1);
    ++engine->running_;
    ++engine->protected_;
    const int status = lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
    --engine->protected_;
    --engine->running_;
    if (status == 0) return lua_gettop(L);
    try {
      engine->errorText = TopText(L);
    } catch (...) {
      engine->errorText = String();
    }
    engine->errorCode = status;
    lua_settop(L, 0);
    return 0;
  }
  // Only trivially destructible objects live in this frame: a Lua error
  // raised inside fn jumps straight over it.
  char message[512];
  message[0] = '\0';
  lua_CFunction fn = *static_cast<lua_CFunction*>(lua_touserdata(L, lua_upvalueindex(1)));
  int results = 0;
  try {
    results = fn(L);
  } catch (const std::exception& error) {  // TRuntimeError and the stream errors among them
    std::snprintf(message, sizeof message, "%s", error.what());
  } catch (...) {
    std::snprintf(message, sizeof message, "%s", "Unknown native exception");
  }
  if (message[0] == '\0') {
    // Lua takes the count on trust: more results than the function's stack
    // holds, or a negative count that is not lua_yield's, would have it read
    // below the frame.
    const int held = lua_gettop(L);
    if (results >= 0 ? results <= held : lua_status(L) == LUA_YIELD) return results;
    std::snprintf(message, sizeof message,
                  "ScriptEngine: a native function returned %d results with %d values on its stack", results, held);
  }
  lua_pushstring(L, message);
  return lua_error(L);
}

namespace {

// How often PushString tries again after finalisers that raise.
constexpr int kPushAttempts = 64;

// Makes the guarded native and sets the global to it, under lua_cpcall: each
// step allocates, and so may run the collector (and finalisers), and a
// __newindex of the globals table may raise.
int RegisterProtected(lua_State* L) {
  const auto* registration = static_cast<const Registration*>(lua_touserdata(L, 1));
  lua_pushstring(L, registration->name);
  *static_cast<lua_CFunction*>(lua_newuserdata(L, sizeof(lua_CFunction))) = registration->fn;
  lua_pushlightuserdata(L, registration->engine);
  lua_pushvalue(L, -2);
  lua_pushvalue(L, -2);
  lua_pushcclosure(L, registration->guard, 2);
  lua_pushcclosure(L, registration->guard, 3);
  lua_settable(L, LUA_GLOBALSINDEX);
  return 0;
}

}  // namespace

struct TScriptEngine::CallScratch {
  String name;
  AnsiText nameText;
  std::vector<AnsiText> texts;
  std::vector<CallArgument> arguments;
  // The state the references below belong to (a restart makes a new one).
  lua_State* refsState = nullptr;
  CallRefs refs{LUA_NOREF, LUA_NOREF};
  // True once the registry slot refs.name holds the current name.
  bool nameStored = false;
};

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

// Counts the operation as running Lua code for as long as it lives; the
// states let go of meanwhile are closed when the outermost one ends.
struct TScriptEngine::Running {
  TScriptEngine& engine;
  explicit Running(TScriptEngine& owner) : engine(owner) { ++engine.running_; }
  ~Running() {
    if (--engine.running_ == 0) engine.CloseLetGo();
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
};

TScriptEngine::~TScriptEngine() {
  // A finaliser run in closing may start the engine again.
  while (state) {
    lua_State* const L = state;
    state = nullptr;
    started = 0;
    LetGo(L);
  }
  CloseLetGo();
}

void TScriptEngine::LetGo(lua_State* L) {
  // A state still running a call (a native function stopping or restarting
  // the engine) cannot be closed under it: the call's own frames still use it.
  letGo_.push_back(L);
  if (running_ == 0) CloseLetGo();
}

void TScriptEngine::CloseLetGo() {
  // Closing runs the finalisers, which may call native functions that stop
  // or restart the engine: the states they let go of join the list, and are
  // closed here too, never while lua_close is still inside them.
  ++running_;
  while (!letGo_.empty()) {
    lua_State* const L = letGo_.back();
    letGo_.pop_back();
    lua_close(L);
  }
  --running_;
}

void TScriptEngine::Fail(lua_State* L, int code) {
  if (L == state) {
    SetError(code);
    return;
  }
  // The call stopped or restarted the engine: its error is still kept, from
  // the state it ran in.
  errorText = TopText(L);
  errorCode = code;
}

void TScriptEngine::Start() {
  startPending_ = false;
  // The engine lets go of the old state before closing it: the finalisers
  // closing runs must not find it as the engine's state.
  lua_State* const old = state;
  state = nullptr;
  chunkRef_ = LUA_NOREF;
  // A new state may well be allocated where the old one was.
  if (scratch_) scratch_->refsState = nullptr;
  started = 0;
  if (old) {
    LetGo(old);
  } else if (running_ == 0) {
    CloseLetGo();
  }
  // A finaliser of the old state may itself have started the engine.
  if (state) return;
  lua_State* L = luaL_newstate();
  if (!L) return;
  if (lua_cpcall(L, OpenLibraries, &pushRef_) != 0) {
    lua_close(L);
    return;
  }
  lua_settop(L, 0);
  state = L;
  started = 1;
}

bool TScriptEngine::RoomToPush(lua_State* L) {
  // Lua's pushes write past the stack's end unchecked. The stack grows on
  // request; when it cannot grow any more, a native function running in a
  // call gets a Lua error, and outside a call (where a Lua error would end
  // the program) the value is not pushed.
  if (lua_checkstack(L, 1)) return true;
  if (protected_ > 0) luaL_error(L, "ScriptEngine: Lua stack overflow");
  return false;
}

void TScriptEngine::PushString(lua_State* L, const String& s) {
  if (!started || !RoomToPush(L)) return;
  const AnsiText text = s.AsAnsi();
  if (protected_ > 0) {
    lua_pushstring(L, text.get());
    return;
  }
  // Between calls nothing would catch an error raised by a finaliser the
  // collector runs at this allocation: the string is made in a protected call.
  // An error is kept and the push made again (each error uses up the
  // finaliser that raised it); a stop or restart is handled as in a native
  // function that no call protects (see NativeGuard).
  if (!lua_checkstack(L, 2)) return;
  ++running_;
  for (int attempt = 0; attempt < kPushAttempts; ++attempt) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, pushRef_);
    // L may belong to a state that is not the engine's own.
    if (lua_tocfunction(L, -1) != PushTextProtected) {
      lua_pop(L, 1);
      lua_pushstring(L, text.get());
      break;
    }
    lua_pushlightuserdata(L, const_cast<char*>(text.get()));
    const int status = Protected([&] { return lua_pcall(L, 1, 1, 0); });
    if (status == 0) break;
    try {
      errorText = TopText(L);
    } catch (...) {
      errorText = String();
    }
    errorCode = status;
    lua_pop(L, 1);
    if (status == LUA_ERRMEM) break;
  }
  --running_;
}

void TScriptEngine::PushNumber(lua_State* L, double d) {
  if (started && RoomToPush(L)) lua_pushnumber(L, d);
}

void TScriptEngine::PushBool(lua_State* L, int b) {
  if (started && RoomToPush(L)) lua_pushboolean(L, b);
}

void TScriptEngine::RegisterFunction(lua_CFunction fn, const String& name) {
  StartIfPending();
  if (!started || !fn || !lua_checkstack(state, 2)) return;
  lua_State* const L = state;
  const AnsiText text = name.AsAnsi();
  const Running running(*this);
  Registration registration{text.get(), fn, this, NativeGuard};
  const int status = Protected([&] { return lua_cpcall(L, RegisterProtected, &registration); });
  if (status != 0) Fail(L, status);
}

void TScriptEngine::ClearArgs() {
  args->RemoveAll();
  resultType = ScriptResultNone;
  stringResult = String();
  numberResult = 0;
  boolResult = 0;
}

namespace {

// Lua looks an index up unchecked: 0, or a negative index reaching below the
// running function's frame, reads outside it (or outside the stack). Such an
// index raises the argument error in L instead. Pseudo-indices (registry,
// globals, upvalues) are Lua's own to check.
void CheckArgumentIndex(lua_State* L, int index) {
  if (index > 0 || index <= LUA_REGISTRYINDEX || (index < 0 && -index <= lua_gettop(L))) return;
  luaL_argerror(L, index, "no argument at this index");
}

}  // namespace

String TScriptEngine::GetString(lua_State* L, int index) {
  CheckArgumentIndex(L, index);
  const char* text = luaL_checkstring(L, index);
  return String(text);
}

double TScriptEngine::GetNumber(lua_State* L, int index) {
  CheckArgumentIndex(L, index);
  return luaL_checknumber(L, index);
}

int TScriptEngine::GetInt(lua_State* L, int index) {
  CheckArgumentIndex(L, index);
  return luaL_checkint(L, index);
}

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

int TScriptEngine::CallFunction(const String& name, int resultCount) {
  if (startPending_) StartIfPending();
  if (!started) {
    SetEngineError("ScriptEngine: Engine is not started"_s);
    return 0;
  }
  if (!scratch_) scratch_ = std::make_unique<CallScratch>();
  CallScratch& scratch = *scratch_;
  // The name's conversion may fail; nothing has touched the state yet then.
  try {
    if (!scratch.nameText || (scratch.name.Body() != name.Body() && scratch.name != name)) {
      scratch.nameStored = false;
      scratch.nameText = name.AsAnsi();
      scratch.name = name;
    }
  } catch (const std::exception& error) {
    // A name whose conversion failed half way is not kept.
    scratch.name = String();
    scratch.nameText.reset();
    scratch.nameStored = false;
    SetEngineError("ScriptEngine: "_s + String(error.what()));
    return 0;
  }
  // Any negative count asks for every result, as LUA_MULTRET does.
  const int wanted = resultCount < 0 ? LUA_MULTRET : resultCount;
  // No Lua stack holds more than LUAI_MAXCSTACK values: a larger count cannot
  // be met, and the room it asks for would not fit an int.
  if (wanted > LUAI_MAXCSTACK) {
    SetEngineError("ScriptEngine: Lua stack overflow"_s);
    return 0;
  }
  // The function may stop or restart the engine (through a native function,
  // a finaliser's among them): the call goes on in its own state L, which
  // stays open until it is over.
  lua_State* const L = state;
  const Running running(*this);
  if (scratch.refsState != L) {
    // lua_cpcall builds a closure each time: once per state is enough.
    if (const int status = Protected([&] { return lua_cpcall(L, StoreCallRefs, &scratch.refs); }); status != 0) {
      Fail(L, status);
      return 0;
    }
    // Kept for the next calls only while L is still the engine's state.
    scratch.refsState = L == state ? L : nullptr;
    scratch.nameStored = false;
  }
  // Whatever the call leaves (results that are not read, values the
  // function pushed) goes again: the stack ends where it began.
  const int base = lua_gettop(L);
  int status = kNotDirect;
  if (scratch.nameStored)
    status = Protected([&] { return CallDirect(L, base, args.Get(), scratch.refs.name, wanted); });
  bool overflow = status == kDirectOverflow;
  if (status == kNotDirect) {
    // A call made from inside another (a native function or a metamethod of
    // the globals calling back) fills buffers of its own: the outer call may
    // not have pushed its arguments from the shared ones yet.
    std::vector<AnsiText> ownTexts;
    std::vector<CallArgument> ownArguments;
    const bool nested = running_ > 1;
    std::vector<AnsiText>& texts = nested ? ownTexts : scratch.texts;
    std::vector<CallArgument>& arguments = nested ? ownArguments : scratch.arguments;
    texts.clear();
    arguments.clear();
    // Counted here rather than read back from the vector just written, which
    // would wait for the store to complete.
    int count = 0;
    // The conversions of string arguments may fail; the state is as it was.
    try {
      // Converting a text may collect, which the walk's plain pointers on
      // the stack survive (see Each); nothing here changes the queue.
      for (TObject* item : Each<TObject>(args.Get())) {
        const TScriptArg* arg = QueuedArgument(item);
        if (!arg) continue;
        const char* text = nullptr;
        if (arg->kind == ScriptArgString) {
          texts.push_back(arg->text.AsAnsi());
          text = texts.back().get();
        }
        arguments.push_back(CallArgument{arg->kind, arg->number, arg->flag, text});
        ++count;
      }
    } catch (const std::exception& error) {
      SetEngineError("ScriptEngine: "_s + String(error.what()));
      return 0;
    }
    CallRequest call{};
    call.name = scratch.nameText.get();
    call.arguments = arguments.data();
    call.count = count;
    call.resultCount = wanted;
    call.nameRef = scratch.refs.name;
    call.nameStored = scratch.nameStored ? nullptr : &scratch.nameStored;
    if (!lua_checkstack(L, 3)) {
      overflow = true;
    } else {
      lua_rawgeti(L, LUA_REGISTRYINDEX, scratch.refs.call);
      lua_pushlightuserdata(L, &call);
      lua_pushvalue(L, LUA_GLOBALSINDEX);
      status = Protected([&] { return lua_pcall(L, 2, LUA_MULTRET, 0); });
      overflow = status == 0 && call.overflow;
    }
  }
  if (overflow) {
    lua_settop(L, base);
    SetEngineError("ScriptEngine: Lua stack overflow"_s);
    return 0;
  }
  if (status != 0) {
    Fail(L, status);
    return 0;
  }
  // The results lie above base. Reading them neither allocates nor raises:
  // lua_tonumber converts a numeric string without making a new one, and
  // lua_tostring is only asked for values that are strings already. A number
  // comes first, then a boolean, then a string, as lua_isnumber and
  // lua_isstring rank them: a numeric string is a number. With a fixed count
  // of results the call leaves exactly that many.
  const bool any = wanted > 0 || (wanted == LUA_MULTRET && lua_gettop(L) > base);
  const int type = any ? lua_type(L, -1) : LUA_TNONE;
  if (type == LUA_TNUMBER || (type == LUA_TSTRING && lua_isnumber(L, -1))) {
    resultType = ScriptResultNumber;
    numberResult = lua_tonumber(L, -1);
  } else if (type == LUA_TBOOLEAN) {
    resultType = ScriptResultBool;
    boolResult = lua_toboolean(L, -1);
  } else if (type == LUA_TSTRING) {
    try {
      stringResult = String(lua_tostring(L, -1));
    } catch (const std::exception& error) {
      lua_settop(L, base);
      SetEngineError("ScriptEngine: "_s + String(error.what()));
      return 0;
    }
    resultType = ScriptResultString;
  }
  lua_settop(L, base);
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
  // Compiling allocates, and so may run a finaliser that stops or restarts
  // the engine: L stays open until the load is over.
  lua_State* const L = state;
  const Running running(*this);
  const int status = luaL_loadbuffer(L, bytes.get(), static_cast<size_t>(text.Length()), bytes.get());
  if (status != 0) {
    Fail(L, status);
    return 0;
  }
  if (L != state) {
    // The chunk belongs to the state the engine has let go of.
    SetEngineError(started ? "ScriptEngine: Engine was restarted while the script loaded"_s
                           : "ScriptEngine: Engine is not started"_s);
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
  if (!HasRoom(2)) return 0;
  const AnsiText name = path.AsAnsi();
  lua_State* const L = state;
  const Running running(*this);
  const int top = lua_gettop(L);
  FileRun run{name.get(), 0};
  int status = Protected([&] { return lua_cpcall(L, RunFileProtected, &run); });
  // The real status of each step (luaL_dofile itself only answers 0 or 1).
  if (status != 0 && run.loadStatus != 0) status = run.loadStatus;
  if (status != 0) {
    Fail(L, status);
    return 0;
  }
  lua_settop(L, top);
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
  lua_State* const L = state;
  const Running running(*this);
  const int status = Protected([&] { return lua_pcall(L, 0, 0, 0); });
  if (status != 0) {
    Fail(L, status);
    return 0;
  }
  return 1;
}

String TScriptEngine::ErrorText() { return errorText; }
int TScriptEngine::ErrorCode() { return errorCode; }

void TScriptEngine::Stop() {
  startPending_ = false;
  // Stopped before the state closes, so that the finalisers closing runs see
  // the engine stopped (and may start it again).
  lua_State* const L = state;
  state = nullptr;
  chunkRef_ = LUA_NOREF;
  if (scratch_) scratch_->refsState = nullptr;
  started = 0;
  if (L) {
    LetGo(L);
  } else if (running_ == 0) {
    // States let go of by a native function that no call protected.
    CloseLetGo();
  }
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
