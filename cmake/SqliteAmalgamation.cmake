# SQLite for the Windows build, compiled in from its amalgamation (sqlite3.c and
# sqlite3.h, public domain). There is no Debian package of SQLite for mingw-w64, so the
# amalgamation comes from the npm registry's "sqlite3" package, which ships SQLite's own
# autoconf tarball unchanged (deps/sqlite-autoconf-*.tar.gz); npm fetches it once into the
# build tree. The two files are checked against the SHA-256 below before anything is
# built: a package that changed is refused, never compiled.
#
# To update: pick a newer "sqlite3" package (npm view sqlite3 versions), set its version
# and the tarball's name below, run the Windows build once with the hashes emptied, and
# write down the SHA-256 it prints after comparing sqlite3.c with the SQLite release's own.
set(TQ9_SQLITE_NPM_PACKAGE "sqlite3@6.0.1")
set(TQ9_SQLITE_TARBALL "sqlite-autoconf-3520000")  # SQLite 3.52.0
set(TQ9_SQLITE_C_SHA256 "a503acc9fe98f628eed36eb2aa2116a26f2541270d757f9b7cdbc2f19eb72b8f")
set(TQ9_SQLITE_H_SHA256 "37537d6131c1d2e507b34a6cee5590e27cedb7d82f543f257afbc72c0cbbcc22")

include(${CMAKE_CURRENT_LIST_DIR}/NpmFetch.cmake)
set(dir ${CMAKE_BINARY_DIR}/sqlite-amalgamation)
if(NOT EXISTS ${dir}/sqlite3.c OR NOT EXISTS ${dir}/sqlite3.h)
  tq9_npm_unpack(${TQ9_SQLITE_NPM_PACKAGE} ${dir}/npm package/deps/${TQ9_SQLITE_TARBALL}.tar.gz)
  file(ARCHIVE_EXTRACT INPUT ${dir}/npm/package/deps/${TQ9_SQLITE_TARBALL}.tar.gz
       DESTINATION ${dir}/npm
       PATTERNS ${TQ9_SQLITE_TARBALL}/sqlite3.c ${TQ9_SQLITE_TARBALL}/sqlite3.h)
  foreach(file sqlite3.c sqlite3.h)
    file(COPY ${dir}/npm/${TQ9_SQLITE_TARBALL}/${file} DESTINATION ${dir})
  endforeach()
  file(REMOVE_RECURSE ${dir}/npm)
endif()
tq9_require_sha256(${dir}/sqlite3.c ${TQ9_SQLITE_C_SHA256} ${TQ9_SQLITE_NPM_PACKAGE})
tq9_require_sha256(${dir}/sqlite3.h ${TQ9_SQLITE_H_SHA256} ${TQ9_SQLITE_NPM_PACKAGE})

enable_language(C)
add_library(tq9_sqlite3 STATIC ${dir}/sqlite3.c)
target_include_directories(tq9_sqlite3 SYSTEM PUBLIC ${dir})
# SQLite's own code is not held to this project's warning flags. No extension loading
# (the records need none), and double-quoted strings are never taken as literals.
target_compile_options(tq9_sqlite3 PRIVATE $<IF:$<C_COMPILER_ID:MSVC>,/w,-w>)
target_compile_definitions(tq9_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
                           SQLITE_THREADSAFE=1 SQLITE_DEFAULT_MEMSTATUS=0)
add_library(SQLite::SQLite3 ALIAS tq9_sqlite3)
