# The libraries of the Windows cross build, under the names the Linux build gets from
# pkg-config, so that the layers link the same way on both systems.
#   zlib      Debian's mingw-w64 package (static)
#   minizip   its three C files from Debian's zlib source, built here
#   libsodium built by scripts/windows-deps from Debian's source
#   utf8proc  its one C file from Debian's source, built here
set(HUSHCEL_WINDOWS_DEPS "${PROJECT_BINARY_DIR}/windows-deps" CACHE PATH
    "Folder that scripts/windows-deps fills with the Windows build's libraries")
if(NOT EXISTS "${HUSHCEL_WINDOWS_DEPS}/done")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-deps ${HUSHCEL_WINDOWS_DEPS}
                  RESULT_VARIABLE deps_rc)
  if(NOT deps_rc EQUAL 0)
    message(FATAL_ERROR "scripts/windows-deps failed (${deps_rc})")
  endif()
endif()
enable_language(C)

# A static program: the import library of zlib1.dll is not wanted.
set(ZLIB_LIBRARY "${CMAKE_FIND_ROOT_PATH}/lib/libz.a" CACHE FILEPATH "" FORCE)
set(ZLIB_INCLUDE_DIR "${CMAKE_FIND_ROOT_PATH}/include" CACHE PATH "" FORCE)
find_package(ZLIB REQUIRED)

set(minizip_dir "${HUSHCEL_WINDOWS_DEPS}/zlib/contrib/minizip")
add_library(hushcel_minizip STATIC ${minizip_dir}/ioapi.c ${minizip_dir}/unzip.c ${minizip_dir}/zip.c)
# Included as <minizip/unzip.h>, as Debian installs them.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/minizip-include)
file(CREATE_LINK ${minizip_dir} ${PROJECT_BINARY_DIR}/minizip-include/minizip SYMBOLIC)
target_include_directories(hushcel_minizip SYSTEM PUBLIC ${PROJECT_BINARY_DIR}/minizip-include PRIVATE ${minizip_dir})
target_compile_options(hushcel_minizip PRIVATE -w)
target_link_libraries(hushcel_minizip PUBLIC ZLIB::ZLIB)
add_library(PkgConfig::MINIZIP ALIAS hushcel_minizip)

add_library(hushcel_utf8proc STATIC ${HUSHCEL_WINDOWS_DEPS}/utf8proc/utf8proc.c)
target_compile_definitions(hushcel_utf8proc PUBLIC UTF8PROC_STATIC)
target_include_directories(hushcel_utf8proc SYSTEM PUBLIC ${HUSHCEL_WINDOWS_DEPS}/utf8proc)
target_compile_options(hushcel_utf8proc PRIVATE -w)
add_library(PkgConfig::UTF8PROC ALIAS hushcel_utf8proc)

add_library(PkgConfig::SODIUM STATIC IMPORTED)
set_target_properties(PkgConfig::SODIUM PROPERTIES
  IMPORTED_LOCATION "${HUSHCEL_WINDOWS_DEPS}/prefix/lib/libsodium.a"
  INTERFACE_INCLUDE_DIRECTORIES "${HUSHCEL_WINDOWS_DEPS}/prefix/include"
  INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
