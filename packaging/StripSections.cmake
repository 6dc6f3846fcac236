# Run by CPack after the installation into its staging folder: removes the .comment and .note
# sections (the compiler's identification, kept by a plain strip) from every program and module,
# as Debian's packaging does. The ELF build notes (.note.gnu.build-id, .note.ABI-tag) are kept.
find_program(tervik_objcopy NAMES objcopy)
if(NOT tervik_objcopy)
  message(FATAL_ERROR "objcopy is needed to package (binutils)")
endif()
file(GLOB_RECURSE tervik_staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS tervik_staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND ${tervik_objcopy} --remove-section=.comment --remove-section=.note
                            "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "objcopy could not strip ${file}")
    endif()
  endif()
endforeach()
