/// @file
/// TScriptEngine: one Lua interpreter state with the standard libraries, fed
/// script text or files, asked to call global functions with a queue of
/// arguments. Failures are never raised: operations answer 0 and keep the
/// text and Lua status of the error (ErrorText, ErrorCode).
#pragma once

#include <memory>
#include <vector>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/script/luaapi.h"

namespace cvx {

/// @{
/// Kinds of queued arguments (TScriptArg::kind).
inline constexpr int ScriptArgNumber = 0;
inline constexpr int ScriptArgString = 1;
inline constexpr int ScriptArgBool = 2;
/// @}

/// @{
/// Result types of the last call (TScriptEngine::ResultType): none, a number, a
/// string or a boolean.
inline constexpr int ScriptResultNone = -1;
inline constexpr int ScriptResultNumber = 0;
inline constexpr int ScriptResultString = 1;
inline constexpr int ScriptResultBool = 2;
/// @}

/// One argument queued for the next CallFunction.
class TScriptArg : public TObject {
 public:
  /// One of the ScriptArg kinds.
  int kind = ScriptArgNumber;
  /// The value of a number argument.
  double number = 0;
  /// The value of a string argument.
  String text;
  /// The value of a boolean argument.
  int flag = 0;
};

/// One Lua interpreter state with the standard libraries (see the file
/// comment). Operations report failure by returning 0 and keeping the error
/// (ErrorText, ErrorCode); none raises.
class TScriptEngine : public TObject {
 public:
  /// 1 while the engine has a Lua state.
  int started = 0;
  /// The text of the chunk the last successful LoadScript compiled.
  String script;
  /// @{
  /// The last error: Lua's message and status code (0 for the engine's own
  /// errors, such as "ScriptEngine: Engine is not started").
  String errorText;
  int errorCode = 0;
  /// @}
  /// The Lua state, or nullptr while stopped.
  lua_State* state = nullptr;
  /// The TScriptArg list queued for the next CallFunction.
  Ref<TList> args = NewList();
  /// @{
  /// The last call's result of each type, and which one it gave (a ScriptResult
  /// constant).
  String stringResult;
  double numberResult = 0;
  int boolResult = 0;
  int resultType = ScriptResultNone;
  /// @}

  /// A new engine is started. An engine of a derived class runs its own Start
  /// on its first operation (any of CallFunction, LoadScript, RunFile,
  /// RunScript, RegisterFunction, IsStarted), since the constructor cannot
  /// reach it; such an engine sets its state up in Start or through these
  /// operations, not through the raw state before its first operation.
  TScriptEngine();
  /// An engine still started when it is dropped closes its state.
  ~TScriptEngine() override;

  /// Opens a new Lua state with the standard libraries, closing the one open
  /// before. Called from a native function while a call runs, the old state is
  /// closed once that call has returned. A finaliser run in closing the old
  /// state finds the engine stopped; when it starts the engine, that state stays.
  virtual void Start();
  /// @{
  /// Push a value onto L's stack, grown as needed. When the stack cannot grow
  /// any more a native function running in a call gets a Lua error in L
  /// ("ScriptEngine: Lua stack overflow"); outside a call nothing is pushed.
  /// Outside a call, an error raised by a finaliser the collector runs in
  /// PushString is kept as the engine's error (ErrorText, ErrorCode) and the
  /// string is still pushed (nothing is pushed when memory runs out).
  virtual void PushString(lua_State* L, const String& s);
  virtual void PushNumber(lua_State* L, double d);
  virtual void PushBool(lua_State* L, int b);
  /// @}
  /// Native functions run behind a guard: a C++ exception they throw becomes a
  /// Lua error with the exception's text instead of unwinding through Lua, and
  /// so does a result count that is negative (other than lua_yield's) or above
  /// the number of values on the function's stack ("ScriptEngine: a native
  /// function returned N results with M values on its stack").
  /// A native function that runs where no call of the engine protects it (a
  /// finaliser the collector runs in a push made between calls, or in closing
  /// the state) raises nothing, since nothing would catch it: its error is kept
  /// as the engine's error (ErrorText, ErrorCode) and it gives no results. A
  /// Stop or Start it makes takes effect at once; the old state is closed once
  /// the engine runs no Lua code (at the latest by the next Start or Stop).
  /// Failures of the registration itself are kept as the error too.
  virtual void RegisterFunction(lua_CFunction fn, const String& name);
  /// Drops the queued arguments and forgets the last call's results
  /// (ResultType becomes ScriptResultNone).
  virtual void ClearArgs();
  /// @{
  /// Argument index of the native function running in L, checked; the checks
  /// raise a Lua error in L when the argument does not fit, and when the index
  /// is 0 or reaches below the function's frame ("no argument at this index").
  virtual String GetString(lua_State* L, int index);
  virtual double GetNumber(lua_State* L, int index);
  virtual int GetInt(lua_State* L, int index);
  /// @}
  /// @{
  /// Queue an argument at the end of the queue. The queue outlives the calls:
  /// every later CallFunction passes it again, until ClearArgs empties it.
  /// Nothing is reported; a string argument whose text cannot be converted
  /// fails the call that passes it.
  virtual void AddStringArg(const String& s);
  virtual void AddNumberArg(double d);
  virtual void AddBoolArg(int b);
  /// @}
  /// Calls the global function name with the queued arguments, in the order
  /// they were queued, asking for resultCount results (a negative count: all of
  /// them); the topmost result, when it is a number, a boolean or a string,
  /// becomes the result of its type. The queued arguments stay queued for the
  /// next call (ClearArgs drops them). Returns 1 on success; 0 with the error
  /// kept (ErrorText, ErrorCode) when the engine is not started, the name or a
  /// string argument cannot be converted, the arguments or the results asked
  /// for do not fit on the Lua stack ("ScriptEngine: Lua stack overflow"), the
  /// function is missing or raises (Lua's message and status), or its string
  /// result is too long for a runtime string. The Lua stack ends as it was before the call, whatever the
  /// function returned, except after a Lua error, which empties it (SetError).
  virtual int CallFunction(const String& name, int resultCount);
  /// @{
  /// The last call's result type (a ScriptResult constant) and its value of each
  /// type.
  virtual int ResultType();
  virtual double NumberResult();
  virtual int BoolResult();
  virtual String StringResult();
  /// @}
  /// Keeps the message on top of the Lua stack as the error with Lua's status
  /// code, and empties the stack.
  virtual void SetError(int code);
  /// Compiles a chunk for RunScript; 1 on success, 0 with the error kept when the
  /// text does not compile or the engine is not started, or when a finaliser
  /// run while it compiles stops the engine ("ScriptEngine: Engine is not
  /// started") or restarts it ("ScriptEngine: Engine was restarted while the
  /// script loaded"): the chunk went with the old state.
  virtual int LoadScript(const String& text);
  /// Compiles and runs a Lua file; 1 on success, 0 with the error kept when it
  /// does not open, compile or run.
  virtual int RunFile(const String& path);
  /// Runs the chunk of the last LoadScript (again); 1 on success, 0 with the error
  /// kept when there is none or it raises.
  virtual int RunScript();
  /// @{
  /// The last error's text and Lua status code.
  virtual String ErrorText();
  virtual int ErrorCode();
  /// @}
  /// Closes the Lua state; the engine can be started again. Called from a
  /// native function while a call runs, the engine is stopped at once (further
  /// operations report it not started) and the state is closed once the call
  /// has returned, with its result. The finalisers closing runs find the engine
  /// stopped already; one that starts it again leaves it started.
  virtual void Stop();
  /// 1 while the engine has a Lua state (starting a derived engine first).
  virtual int IsStarted();

 private:
  void SetEngineError(const String& text);
  /// Room for one more value on L (see PushString).
  bool RoomToPush(lua_State* L);
  /// Keeps the error of a call that ran in L (which the call may have stopped
  /// or replaced as the engine's state).
  void Fail(lua_State* L, int code);
  /// Closes L, or keeps it for CloseLetGo while an operation still runs Lua code.
  void LetGo(lua_State* L);
  void CloseLetGo();
  struct Running;
  /// Operations now running Lua code (calls from native functions nest).
  int running_ = 0;
  /// Registry reference of the function PushString makes strings in between calls.
  int pushRef_ = LUA_NOREF;
  /// Protected calls of the engine now running: where there is none, a Lua
  /// error would end the program (see NativeGuard).
  int protected_ = 0;
  /// Runs call (a lua_pcall or lua_cpcall of the engine's) counted in protected_.
  template <class Call>
  int Protected(Call call) {
    // Counted down however the call ends, a C++ exception included.
    struct Count {
      int& calls;
      explicit Count(int& c) : calls(++c) {}
      ~Count() { --calls; }
    } count(protected_);
    return call();
  }
  /// The function a registered native runs behind (see RegisterFunction).
  static int NativeGuard(lua_State* L);
  /// States that Stop or Start let go of while a call ran in them.
  std::vector<lua_State*> letGo_;
  /// Runs a derived engine's Start once, on its first operation.
  void StartIfPending();
  /// Grows the stack for slots more values; false (with the error set) when it cannot.
  bool HasRoom(int slots);
  /// Registry reference to the chunk compiled by the last successful LoadScript.
  int chunkRef_ = LUA_NOREF;
  bool startPending_ = false;
  // What CallFunction keeps from one call to the next: the function name's
  // byte text (converted again only when the name changes), the argument
  // buffers, and the state's registry references to the general call's
  // function and to the name as a Lua string, so that a repeated call
  // allocates nothing on either side.
  struct CallScratch;
  std::unique_ptr<CallScratch> scratch_;
};

/// Runs the script engine's initialiser (which brings in the Lua module and streams).
void InitScriptEngine();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
