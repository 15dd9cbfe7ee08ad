# Files taken from a package of the npm registry, for what Debian has no mingw-w64 build
# of: npm fetches the package once into the build tree, and each file is checked against
# the SHA-256 written where it is used before anything is built with it.

# Unpacks the files `members` (paths inside the package's tarball, "package/...") of npm
# package `package` (name@version) into `destination`, keeping their paths.
function(tq9_npm_unpack package destination)
  find_program(NPM npm)
  if(NOT NPM)
    message(FATAL_ERROR "npm is needed to fetch ${package} (scripts/setup installs it)")
  endif()
  set(fetch ${destination}/fetch)
  file(REMOVE_RECURSE ${fetch})
  file(MAKE_DIRECTORY ${fetch})
  execute_process(COMMAND ${NPM} pack ${package} --silent
                  WORKING_DIRECTORY ${fetch} RESULT_VARIABLE failed OUTPUT_VARIABLE packed
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "npm pack ${package} failed")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${fetch}/${packed} DESTINATION ${destination} PATTERNS ${ARGN})
  file(REMOVE_RECURSE ${fetch})
endfunction()

# Stops the build unless `file` has the SHA-256 `expected`; a file that differs is removed,
# so the next build fetches it again.
function(tq9_require_sha256 file expected origin)
  file(SHA256 ${file} actual)
  if(NOT actual STREQUAL expected)
    file(REMOVE ${file})
    message(FATAL_ERROR "${file} from ${origin} has SHA-256 ${actual}, not ${expected}: refused")
  endif()
endfunction()
