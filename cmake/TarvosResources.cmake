# Resources of the Windows programs.
if(WIN32)
  enable_language(RC)
endif()

# tarvos_embed_unrar(<target>): carries the cross-built unrar.dll of the build's architecture
# inside a Windows target as the RCDATA resource "UNRARDLL"; the program maps it from memory.
function(tarvos_embed_unrar target)
  if(NOT WIN32)
    return()
  endif()
  if(NOT EXISTS ${TARVOS_UNRAR_DLL})
    message(FATAL_ERROR "unrar.dll missing: run scripts/build-win-deps ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-unrar.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT "UNRARDLL RCDATA \"${TARVOS_UNRAR_DLL}\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${TARVOS_UNRAR_DLL})
endfunction()
