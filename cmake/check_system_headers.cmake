# Fails when a file above the platform layer includes a system header: only src/os may
# reach the operating system, so that the rest builds for every system unchanged.
#   cmake -DSOURCE_DIR=<repository> -P check_system_headers.cmake
#
# Allowed in <...>: the C++ standard library (names without ".h" or "/"), the libraries
# the layers link (zlib, minizip, libsodium, utf8proc), Qt, and the compiler's x86
# intrinsics, which the AES file includes only where the compiler has them.
cmake_minimum_required(VERSION 3.22)
set(allowed_libraries
  zlib.h minizip/unzip.h minizip/zip.h minizip/ioapi.h sodium.h utf8proc.h
  cpuid.h immintrin.h)

file(GLOB_RECURSE files
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp
  ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/app/*.cpp)
set(found "")
foreach(f ${files})
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
  if(rel MATCHES "^src/os/")
    continue()
  endif()
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>.*$" "\\1" header "${line}")
    if(header MATCHES "^Q" OR header IN_LIST allowed_libraries)
      continue()
    endif()
    if(header MATCHES "[./]")
      list(APPEND found "${rel}: <${header}>")
    endif()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "System headers above src/os (move the call into the platform layer):\n  ${text}")
endif()
