/* The standard streams as the private copy of Lua's static archive sees them.
 *
 * Debian builds liblua5.1-c++.a without -fPIC: its code reads stdin, stdout and stderr through
 * direct references that a shared object (our plug-ins) cannot hold to a symbol of the C library.
 * The build renames those three references in its copy of the archive to the hidden variables
 * below, which live inside our own binary and take the C library's streams when it is loaded,
 * before any Lua code can run. */
#include <stdio.h>

__attribute__((visibility("hidden"))) FILE* velluna_lua_stdin;
__attribute__((visibility("hidden"))) FILE* velluna_lua_stdout;
__attribute__((visibility("hidden"))) FILE* velluna_lua_stderr;

__attribute__((constructor)) static void velluna_lua_take_standard_streams(void)
{
    velluna_lua_stdin = stdin;
    velluna_lua_stdout = stdout;
    velluna_lua_stderr = stderr;
}
