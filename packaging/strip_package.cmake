# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack on the staged files, before it packs them: strips the
# executables as Debian's own packages are stripped, of their symbols and
# debug information and of the .comment and .note sections, which nothing
# needs at run time. The build tree's executables keep theirs, for the
# debugger and the tests. (CPACK_STRIP_FILES would leave those sections.)
if(NOT CPACK_STRIP_COMMAND)
  message(FATAL_ERROR "no strip program was found when the tree was configured")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
set(stripped 0)
foreach(path IN LISTS staged)
  if(IS_SYMLINK "${path}")
    continue()
  endif()
  file(READ "${path}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")  # "\x7fELF"
    continue()
  endif()
  execute_process(
    COMMAND "${CPACK_STRIP_COMMAND}" --remove-section=.comment
            --remove-section=.note --strip-unneeded "${path}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not strip ${path}")
  endif()
  math(EXPR stripped "${stripped} + 1")
endforeach()
if(stripped EQUAL 0)
  message(FATAL_ERROR "no executable found to strip in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
