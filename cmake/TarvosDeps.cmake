# Third-party libraries. Native builds use Debian's packages; the Windows build uses
# libraries cross-built from Debian's source packages by scripts/build-win-deps into
# .deps/<arch> (never committed).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARVOS_WIN_DEPS ${CMAKE_SOURCE_DIR}/.deps/x86_64)
else()
  set(TARVOS_WIN_DEPS ${CMAKE_SOURCE_DIR}/.deps/i686)
endif()

if(WIN32)
  if(NOT EXISTS ${TARVOS_WIN_DEPS}/lib/libbz2.a)
    message(FATAL_ERROR "Windows dependencies missing: run scripts/build-win-deps ${CMAKE_SYSTEM_PROCESSOR} first")
  endif()
  add_library(tarvos_bz2 STATIC IMPORTED)
  set_target_properties(tarvos_bz2 PROPERTIES
    IMPORTED_LOCATION ${TARVOS_WIN_DEPS}/lib/libbz2.a
    INTERFACE_INCLUDE_DIRECTORIES ${TARVOS_WIN_DEPS}/include)
  if(EXISTS ${TARVOS_WIN_DEPS}/lib/libcurl.a)
    add_library(tarvos_curl STATIC IMPORTED)
    set_target_properties(tarvos_curl PROPERTIES
      IMPORTED_LOCATION ${TARVOS_WIN_DEPS}/lib/libcurl.a
      INTERFACE_INCLUDE_DIRECTORIES ${TARVOS_WIN_DEPS}/include
      INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
      INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;secur32;bcrypt;advapi32;normaliz;iphlpapi")
  else()
    message(FATAL_ERROR "libcurl for Windows missing: run scripts/build-win-deps ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  # Ed25519 for the file list's signature; RtlGenRandom (advapi32) feeds its key making.
  if(NOT EXISTS ${TARVOS_WIN_DEPS}/lib/libsodium.a)
    message(FATAL_ERROR "libsodium for Windows missing: run scripts/build-win-deps ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  add_library(tarvos_sodium STATIC IMPORTED)
  set_target_properties(tarvos_sodium PROPERTIES
    IMPORTED_LOCATION ${TARVOS_WIN_DEPS}/lib/libsodium.a
    INTERFACE_INCLUDE_DIRECTORIES ${TARVOS_WIN_DEPS}/include
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    INTERFACE_LINK_LIBRARIES advapi32)
  # The UnRAR DLL travels inside the launcher as a resource; its header comes from the
  # same source tree it was built from.
  set(TARVOS_UNRAR_DLL ${TARVOS_WIN_DEPS}/bin/unrar.dll)
  set(TARVOS_UNRAR_INCLUDE ${TARVOS_WIN_DEPS}/include/unrar)
  if(TARVOS_TESTS AND NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
else()
  find_package(BZip2 REQUIRED)
  add_library(tarvos_bz2 INTERFACE)
  target_link_libraries(tarvos_bz2 INTERFACE BZip2::BZip2)
  find_package(CURL REQUIRED)
  add_library(tarvos_curl INTERFACE)
  target_link_libraries(tarvos_curl INTERFACE CURL::libcurl)
  find_path(TARVOS_SODIUM_INCLUDE sodium.h REQUIRED)
  find_library(TARVOS_SODIUM_LIB sodium REQUIRED)
  add_library(tarvos_sodium INTERFACE)
  target_include_directories(tarvos_sodium INTERFACE ${TARVOS_SODIUM_INCLUDE})
  target_link_libraries(tarvos_sodium INTERFACE ${TARVOS_SODIUM_LIB})
  find_package(Threads REQUIRED)
  find_path(TARVOS_UNRAR_INCLUDE dll.hpp PATHS /usr/include/unrar /usr/include/libunrar NO_DEFAULT_PATH)
  if(TARVOS_TESTS)
    find_package(GTest REQUIRED)
  endif()
endif()

# JSON for the console's machine-readable output: header-only, the same Debian package for
# every build. The cross build must not search the build machine's headers, so it sees a
# folder of the build tree that holds only this library.
find_path(TARVOS_JSON_HOST_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(tarvos_json INTERFACE)
if(WIN32)
  set(TARVOS_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${TARVOS_JSON_INCLUDE})
  file(CREATE_LINK ${TARVOS_JSON_HOST_INCLUDE}/nlohmann ${TARVOS_JSON_INCLUDE}/nlohmann SYMBOLIC)
  target_include_directories(tarvos_json SYSTEM INTERFACE ${TARVOS_JSON_INCLUDE})
else()
  target_include_directories(tarvos_json SYSTEM INTERFACE ${TARVOS_JSON_HOST_INCLUDE})
endif()
