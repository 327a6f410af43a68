# Writes the i686 import library of PELKOR16.dll for hosts that declare the exports
# __stdcall: their objects refer to _init@8, while the DLL exports plain "init". The
# decorated names come from the exporting objects' own symbol tables, so the library
# always matches the code; dlltool --kill-at makes each decorated symbol import the
# plain name.
#
# cmake -DNM=... -DDLLTOOL=... -DDEF=plain.def -DOUT_DEF=... -DOUT_LIB=... -DDLL_NAME=...
#       -DOBJECT_DIR=<the library's object directory> -P StdcallImportLibrary.cmake
file(STRINGS "${DEF}" def_lines)
set(plain_names "")
foreach(line IN LISTS def_lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^[a-z_][a-z0-9_]*$")
    list(APPEND plain_names "${line}")
  endif()
endforeach()

file(GLOB_RECURSE objects "${OBJECT_DIR}/*.obj")
execute_process(COMMAND "${NM}" -g --defined-only ${objects}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "nm failed on the exporting objects")
endif()

set(decorated "LIBRARY ${DLL_NAME}\nEXPORTS\n")
foreach(name IN LISTS plain_names)
  if(symbols MATCHES " T _(${name}@[0-9]+)\n")
    string(APPEND decorated "    ${CMAKE_MATCH_1}\n")
  elseif(symbols MATCHES " T _(${name})\n")
    string(APPEND decorated "    ${CMAKE_MATCH_1}\n")  # a cdecl export, if one is ever added
  else()
    message(FATAL_ERROR "export ${name} is not defined by the exporting objects")
  endif()
endforeach()
file(WRITE "${OUT_DEF}" "${decorated}")

execute_process(COMMAND "${DLLTOOL}" --kill-at --input-def "${OUT_DEF}" --dllname "${DLL_NAME}"
                        --output-lib "${OUT_LIB}"
                RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "dlltool could not write ${OUT_LIB}")
endif()
