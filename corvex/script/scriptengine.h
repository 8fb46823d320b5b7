/// @file
/// TScriptEngine: one Lua interpreter state with the standard libraries, fed
/// script text or files, asked to call global functions with a queue of
/// arguments. Failures are never raised: operations answer 0 and keep the
/// text and Lua status of the error (ErrorText, ErrorCode).
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/script/luaapi.h"

namespace cvx {

/// Kinds of queued arguments.
inline constexpr int ScriptArgNumber = 0;
inline constexpr int ScriptArgString = 1;
inline constexpr int ScriptArgBool = 2;

/// Result types of the last call.
inline constexpr int ScriptResultNone = -1;
inline constexpr int ScriptResultNumber = 0;
inline constexpr int ScriptResultString = 1;
inline constexpr int ScriptResultBool = 2;

class TScriptArg : public TObject {
 public:
  int kind = ScriptArgNumber;
  double number = 0;
  String text;
  int flag = 0;
};

class TScriptEngine : public TObject {
 public:
  int started = 0;
  String script;
  String errorText;
  int errorCode = 0;
  lua_State* state = nullptr;
  Ref<TList> args = NewList();
  String stringResult;
  double numberResult = 0;
  int boolResult = 0;
  int resultType = ScriptResultNone;

  /// A new engine is started. An engine of a derived class runs its own Start
  /// on its first operation (any of CallFunction, LoadScript, RunFile,
  /// RunScript, RegisterFunction, IsStarted), since the constructor cannot
  /// reach it; such an engine sets its state up in Start or through these
  /// operations, not through the raw state before its first operation.
  TScriptEngine();
  /// An engine still started when it is dropped closes its state.
  ~TScriptEngine() override;

  virtual void Start();
  virtual void PushString(lua_State* L, const String& s);
  virtual void PushNumber(lua_State* L, double d);
  virtual void PushBool(lua_State* L, int b);
  /// Native functions run behind a guard: a C++ exception they throw becomes a
  /// Lua error with the exception's text instead of unwinding through Lua.
  virtual void RegisterFunction(lua_CFunction fn, const String& name);
  virtual void ClearArgs();
  /// The checks raise a Lua error in L when the argument does not fit.
  virtual String GetString(lua_State* L, int index);
  virtual double GetNumber(lua_State* L, int index);
  virtual int GetInt(lua_State* L, int index);
  virtual void AddStringArg(const String& s);
  virtual void AddNumberArg(double d);
  virtual void AddBoolArg(int b);
  /// 1 on success; 0 with the error kept when the function is missing or
  /// raises, or its string result is too long for a runtime string. The Lua
  /// stack ends as it was before the call, whatever the function returned.
  virtual int CallFunction(const String& name, int resultCount);
  virtual int ResultType();
  virtual double NumberResult();
  virtual int BoolResult();
  virtual String StringResult();
  virtual void SetError(int code);
  virtual int LoadScript(const String& text);
  virtual int RunFile(const String& path);
  virtual int RunScript();
  virtual String ErrorText();
  virtual int ErrorCode();
  virtual void Stop();
  virtual int IsStarted();

 private:
  void SetEngineError(const String& text);
  /// Runs a derived engine's Start once, on its first operation.
  void StartIfPending();
  /// Grows the stack for slots more values; false (with the error set) when it cannot.
  bool HasRoom(int slots);
  /// Registry reference to the chunk compiled by the last successful LoadScript.
  int chunkRef_ = LUA_NOREF;
  bool startPending_ = false;
};

/// Runs the script engine's initialiser (which brings in the Lua module and streams).
void InitScriptEngine();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
