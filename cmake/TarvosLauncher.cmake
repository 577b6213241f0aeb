# Launchers carry the configuration slot ("blank") and get the default configuration
# package injected right after linking, by a tarvos-pack that runs on the build machine.
include_guard(GLOBAL)

if(CMAKE_CROSSCOMPILING)
  # The native tree's tool (./run build builds it first); without one, build it here.
  set(TARVOS_HOST_PACK "${CMAKE_SOURCE_DIR}/build/native/tools/tarvos-pack/tarvos-pack"
      CACHE FILEPATH "A tarvos-pack that runs on the build machine")
  set(TARVOS_HOST_PACK_TARGET "${TARVOS_HOST_PACK}")  # a file: a newer tool rebuilds the package
  if(NOT EXISTS "${TARVOS_HOST_PACK}")
    include(ExternalProject)
    set(host_dir ${CMAKE_BINARY_DIR}/host-pack)
    ExternalProject_Add(tarvos_host_pack
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${host_dir}
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOS_TESTS=OFF -DTARVOS_BENCH=OFF -DTARVOS_FUZZ=OFF
      BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_dir} --target tarvos-pack -j 2
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${host_dir}/tools/tarvos-pack/tarvos-pack)
    set(TARVOS_HOST_PACK ${host_dir}/tools/tarvos-pack/tarvos-pack)
    set(TARVOS_HOST_PACK_TARGET tarvos_host_pack)
  endif()
else()
  set(TARVOS_HOST_PACK $<TARGET_FILE:tarvos-pack>)
  set(TARVOS_HOST_PACK_TARGET tarvos-pack)
endif()

set(TARVOS_DEFAULT_PACKAGE ${CMAKE_BINARY_DIR}/skins/default/package.bin)

# The default skin's package, built once per tree from skins/default.
function(tarvos_default_package)
  if(TARGET tarvos_default_package)
    return()
  endif()
  set(src ${CMAKE_SOURCE_DIR}/skins/default)
  set(out ${CMAKE_BINARY_DIR}/skins/default)
  add_custom_command(OUTPUT ${TARVOS_DEFAULT_PACKAGE}
    COMMAND bash ${src}/make-skin.sh ${src} ${out}
    COMMAND ${TARVOS_HOST_PACK} build ${out} -o ${TARVOS_DEFAULT_PACKAGE}
    DEPENDS ${src}/make-skin.sh ${src}/skin.ini ${src}/config.txt ${TARVOS_HOST_PACK_TARGET}
    COMMENT "Building the default configuration package"
    VERBATIM)
  add_custom_target(tarvos_default_package DEPENDS ${TARVOS_DEFAULT_PACKAGE})
endfunction()

# The Windows slot: an RCDATA resource "blank" of exactly 1,536,019 zero bytes.
function(tarvos_blank_slot_file)
  set(slot ${CMAKE_BINARY_DIR}/blank-slot.bin)
  if(NOT TARGET tarvos_blank_slot)
    add_custom_command(OUTPUT ${slot}
      COMMAND sh -c "head -c 1536019 /dev/zero > '${slot}'"
      COMMENT "Making the empty configuration slot"
      VERBATIM)
    add_custom_target(tarvos_blank_slot DEPENDS ${slot})
  endif()
endfunction()

# tarvos_add_launcher(NAME name [GUI] SOURCES ...): a launcher executable with the slot and
# the default package.
function(tarvos_add_launcher)
  cmake_parse_arguments(L "GUI" "NAME" "SOURCES" ${ARGN})
  if(L_GUI)
    add_executable(${L_NAME} WIN32 ${L_SOURCES})
  else()
    add_executable(${L_NAME} ${L_SOURCES})
  endif()
  target_link_libraries(${L_NAME} PRIVATE tarvos_ui)
  if(WIN32)
    tarvos_blank_slot_file()
    set(rc ${CMAKE_SOURCE_DIR}/src/startup/tarvos.rc)
    target_sources(${L_NAME} PRIVATE ${rc})
    set_source_files_properties(${rc} TARGET_DIRECTORY ${L_NAME} PROPERTIES
      OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/blank-slot.bin
      COMPILE_OPTIONS "--include-dir=${CMAKE_BINARY_DIR}")
    add_dependencies(${L_NAME} tarvos_blank_slot)
  endif()
  tarvos_default_package()
  add_dependencies(${L_NAME} tarvos_default_package)
  set_property(TARGET ${L_NAME} APPEND PROPERTY LINK_DEPENDS ${TARVOS_DEFAULT_PACKAGE})
  add_custom_command(TARGET ${L_NAME} POST_BUILD
    COMMAND ${TARVOS_HOST_PACK} inject ${TARVOS_DEFAULT_PACKAGE} $<TARGET_FILE:${L_NAME}>
    VERBATIM)
endfunction()
