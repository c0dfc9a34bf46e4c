# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the Windows build run under Wine: CTest starts every test
# program through wine_run.sh (the emulator), which gives Wine a prefix of
# the build's own, the folders of the Qt and MinGW DLLs, and the QT_*
# variables of the tests (Wine hands none to a Windows program by that
# name; WINEQT_* arrive as QT_*).
find_program(QUILLET_WINE wine REQUIRED)

function(quillet_windows_path out)
  set(dirs)
  foreach(dir ${ARGN})
    string(REPLACE "/" "\\" dir "${dir}")
    list(APPEND dirs "Z:${dir}")
  endforeach()
  list(JOIN dirs ";" joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

set(dll_dirs ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS})
foreach(dll libstdc++-6.dll libwinpthread-1.dll)
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(found_dir "${found}" DIRECTORY)
  get_filename_component(found_dir "${found_dir}" REALPATH)
  list(APPEND dll_dirs ${found_dir})
endforeach()
quillet_windows_path(QUILLET_WINEPATH ${dll_dirs})
set(QUILLET_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QUILLET_WINE_FONTDIR /usr/share/fonts/truetype/liberation)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine_run.sh.in
               ${CMAKE_BINARY_DIR}/wine_run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                GROUP_READ GROUP_EXECUTE WORLD_READ
                                WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine_run.sh)
