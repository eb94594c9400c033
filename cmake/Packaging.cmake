# Installation and the Debian package.
#
#   cmake --install <build> [--prefix /usr]   the programs, the desktop entry, icons, man pages
#   cpack -G DEB (in <build>)                  mirel_<version>_<arch>.deb
#
# Only the two programs and their data are installed: the test, benchmark and fuzz executables
# have no install rules.
include(GNUInstallDirs)

# Directories made by the install keep the usual modes whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(MIREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS mirel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(mirel_man_pages mirel-cli.1)

if(MIREL_BUILD_GUI)
  install(TARGETS mirel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${MIREL_PACKAGING_DIR}/mirel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 32)
    install(FILES ${PROJECT_SOURCE_DIR}/forms/images/mirel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME mirel.png)
  endforeach()
  list(APPEND mirel_man_pages mirel.1)
endif()

# Man pages carry the version of project(VERSION): each is made from its .in file, then gzipped
# (-n: no name or time stamp inside, so the package is reproducible); without gzip it is
# installed as it is.
find_program(MIREL_GZIP gzip)
set(mirel_man_outputs)
foreach(page IN LISTS mirel_man_pages)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/man-source/${page})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page})
  configure_file(${MIREL_PACKAGING_DIR}/${page}.in ${source} @ONLY)
  if(MIREL_GZIP)
    add_custom_command(
      OUTPUT ${out}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${out}
      COMMAND ${MIREL_GZIP} -9nf ${out}
      DEPENDS ${source}
      COMMENT "Compressing the man page ${page}"
      VERBATIM)
    list(APPEND mirel_man_outputs ${out}.gz)
  else()
    list(APPEND mirel_man_outputs ${source})
  endif()
endforeach()
if(MIREL_GZIP)
  add_custom_target(mirel_man_pages ALL DEPENDS ${mirel_man_outputs})
endif()
install(FILES ${mirel_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirel)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane <mirel@corvane.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hide messages and files in BMP pictures")
if(MIREL_BUILD_GUI)
  set(mirel_contents "The package holds the desktop program mirel and the command-line tool"
                     "mirel-cli for scripts and machines without a display.")
else()
  set(mirel_contents "The package holds the command-line tool mirel-cli.")
endif()
# The long description, wrapped by hand: dpkg shows its lines as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Mirel hides a message or a whole file in the least significant bits of an"
  "uncompressed 24-bit BMP picture and writes a new picture that looks the same"
  "to the eye. Decoding the new picture gives the message or the file back. The"
  "data can be enciphered with a password (RC4, which is no strong protection)"
  "and can start at an offset inside the picture."
  ""
  ${mirel_contents})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME mirel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.corvane.example/")
# The Qt libraries come from dpkg-shlibdeps; the desktop program also needs the xcb platform
# plugin at run time, which no library dependency pulls in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(MIREL_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
endif()

include(CPack)
