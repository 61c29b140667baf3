# What a user gets: the window program, the console program, the class library with its C
# header and import library, the user README, the licence, the JSON schema and the C example,
# in one folder. `cpack` (release.sh) packs it as Kestrune-<version>-win32.zip or -win64.zip;
# the installer (packaging/kestrune.wxs) takes the same files from the build folder.
# Kestrune.lib is the library's import library; in the 32-bit build dlltool's (decorated
# names), written over the linker's in the same place.
install(TARGETS Kestrune kestrune-scan KestruneLibrary
        RUNTIME DESTINATION . LIBRARY DESTINATION . ARCHIVE DESTINATION . COMPONENT product)
# The user guide and the licence go out as README.txt and LICENSE.txt with Windows line ends,
# so a double-click opens them in any Notepad; the installer takes the same two files.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE)
foreach(text README.md:README.txt LICENSE:LICENSE.txt)
  string(REPLACE ":" ";" text ${text})
  list(GET text 0 source)
  list(GET text 1 target)
  file(READ ${CMAKE_SOURCE_DIR}/${source} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${CMAKE_BINARY_DIR}/${target} "${content}")
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/com/kestrune.h ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt
        DESTINATION . COMPONENT product)
install(FILES ${CMAKE_SOURCE_DIR}/docs/kestrune-scan.schema.json ${CMAKE_SOURCE_DIR}/docs/screenshot.png
        DESTINATION docs COMPONENT product)
install(FILES ${CMAKE_SOURCE_DIR}/docs/examples/list_ports.c DESTINATION docs/examples COMPONENT product)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KESTRUNE_PACKAGE_SYSTEM win32)
else()
  set(KESTRUNE_PACKAGE_SYSTEM win64)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Kestrune)
set(CPACK_PACKAGE_VENDOR "Kestrune Project")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Kestrune-${PROJECT_VERSION}-${KESTRUNE_PACKAGE_SYSTEM})
# The archive unpacks into a folder of that name.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL product)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
