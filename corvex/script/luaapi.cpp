// The Lua header conveniences as functions.
#include "corvex/script/luaapi.h"

#include <cmath>
#include <limits>

namespace cvx {

void lua_pop(lua_State* L, int n) { lua_settop(L, -n - 1); }

int lua_isboolean(lua_State* L, int index) { return lua_type(L, index) == LUA_TBOOLEAN; }

int lua_istable(lua_State* L, int index) { return lua_type(L, index) == LUA_TTABLE; }

void lua_getglobal(lua_State* L, const char* name) {
  lua_pushstring(L, name);
  lua_gettable(L, LUA_GLOBALSINDEX);
}

void lua_setglobal(lua_State* L, const char* name) {
  lua_pushstring(L, name);
  lua_insert(L, -2);
  lua_settable(L, LUA_GLOBALSINDEX);
}

void lua_pushcfunction(lua_State* L, lua_CFunction fn) { lua_pushcclosure(L, fn, 0); }

void lua_register(lua_State* L, const char* name, lua_CFunction fn) {
  lua_pushstring(L, name);
  lua_pushcfunction(L, fn);
  lua_settable(L, LUA_GLOBALSINDEX);
}

const char* luaL_checkstring(lua_State* L, int n) { return luaL_checklstring(L, n, nullptr); }

int luaL_checkint(lua_State* L, int n) {
  const lua_Number d = luaL_checknumber(L, n);
  // Converting a double outside the int range (or NaN) to int is undefined.
  if (std::isnan(d)) return 0;
  if (d >= static_cast<lua_Number>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (d <= static_cast<lua_Number>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(d);  // truncates toward zero
}

void InitLua() {
  static bool done = false;
  if (done) return;
  done = true;
}

}  // namespace cvx
