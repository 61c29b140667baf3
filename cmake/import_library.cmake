# Turns the linker's export list of the 32-bit class library ("Name = Name@N @k") into the
# definition file dlltool needs for an import library whose symbols carry the standard
# calling convention's decoration (callers reference _Name@N).
# usage: cmake -DDEF_IN=<linker def> -DDEF_OUT=<dlltool def> -P import_library.cmake
file(STRINGS "${DEF_IN}" lines)
set(out "EXPORTS\n")
foreach(line IN LISTS lines)
  if(line MATCHES "= ([A-Za-z0-9_]+@[0-9]+)")
    string(APPEND out "    ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^[ \t]+([A-Za-z0-9_]+)[ \t]+@")
    string(APPEND out "    ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
file(WRITE "${DEF_OUT}" "${out}")
