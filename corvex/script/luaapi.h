/// @file
/// The Lua module: the interpreter's C API, plus as plain functions the
/// conveniences that the Lua headers define as macros. The macros are removed,
/// so code that includes this header calls the functions below instead.
#pragma once

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include "corvex/runtime/api_begin.h"
}

#undef lua_pop
#undef lua_isboolean
#undef lua_istable
#undef lua_getglobal
#undef lua_setglobal
#undef lua_pushcfunction
#undef lua_register
#undef luaL_checkstring
#undef luaL_checkint

namespace cvx {

/// Pops n values.
void lua_pop(lua_State* L, int n);
/// @{
/// 1 when the value at index is a boolean / a table.
int lua_isboolean(lua_State* L, int index);
int lua_istable(lua_State* L, int index);
/// @}
/// Through the globals table, so its metamethods apply.
void lua_getglobal(lua_State* L, const char* name);
/// Pops the value on top of the stack into the global name.
void lua_setglobal(lua_State* L, const char* name);
/// Pushes a C function.
void lua_pushcfunction(lua_State* L, lua_CFunction fn);
/// Sets the global name to a C function.
void lua_register(lua_State* L, const char* name, lua_CFunction fn);
/// Like the library checks, these raise a Lua error when argument n is not of
/// the kind asked for; call them where no C++ object with a destructor is alive.
const char* luaL_checkstring(lua_State* L, int n);
/// The number truncated toward zero; numbers outside the int range give the
/// nearest int, not a meaningless conversion.
int luaL_checkint(lua_State* L, int n);

/// Runs the Lua module's initialiser.
void InitLua();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
