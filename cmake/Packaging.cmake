# Installation and the Debian package.
#
#   cmake --install <build> [--prefix /usr]   the programs, the desktop entry, icons, AppStream
#                                              metadata, man pages, shell completion, licence and
#                                              changelog
#   cpack -G DEB (in <build>)                  mirel_<version>_<arch>.deb
#
# Only the two programs and their data are installed: the test, benchmark and fuzz executables
# have no install rules. The target mirel_programs builds just what installing needs.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/Changelog.cmake)

# Directories made by the install keep the usual modes whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(MIREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(MIREL_HOMEPAGE "http://www.corvane.example/")
set(MIREL_CONTACT "mirel@corvane.example")
set(MIREL_MAINTAINER "Corvane <${MIREL_CONTACT}>")
# Debian's place for a package's documents, whatever the case of the project's name.
set(MIREL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/mirel)

set(mirel_programs mirel-cli)
set(mirel_man_pages mirel-cli.1)
if(MIREL_BUILD_GUI)
  list(APPEND mirel_programs mirel)
  list(APPEND mirel_man_pages mirel.1)
endif()
install(TARGETS ${mirel_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The module that reads pictures through Qt, where the programs look for it (pictures/).
install(TARGETS mirel-pictures LIBRARY DESTINATION ${MIREL_MODULE_DIR})
install(FILES ${MIREL_PACKAGING_DIR}/completion/mirel-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME mirel-cli)
# Stripping (cpack, cmake --install --strip) leaves the compiler's .comment section and the .note
# section behind; take them off as well, as Debian's own strip step does.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program IN ITEMS ${mirel_programs})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${MIREL_MODULE_DIR}/mirel-pictures.so\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()

# The licence in the machine-readable format of Debian's copyright files: the holder and the
# permission text come from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE mirel_license)
if(NOT mirel_license MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission[^\n].*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: expected a line \"Copyright (c) YEAR HOLDER\" and the permission text")
endif()
set(MIREL_COPYRIGHT "${CMAKE_MATCH_1}")
# Paragraphs of a licence are indented by one space; an empty line is a lone ".".
string(REPLACE "\n\n" "\n.\n" MIREL_LICENSE_TEXT "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " MIREL_LICENSE_TEXT " ${MIREL_LICENSE_TEXT}")
configure_file(${MIREL_PACKAGING_DIR}/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/doc/copyright @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/doc/copyright DESTINATION ${MIREL_DOCDIR})

# The changelog: Debian's form of CHANGELOG.md, and its releases for the AppStream metadata.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE)
mirel_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog
                MIREL_APPSTREAM_RELEASES mirel_newest_release)
if(NOT mirel_newest_release STREQUAL PROJECT_VERSION)
  message(WARNING "CHANGELOG.md: the newest entry is ${mirel_newest_release}, but the version is "
                  "${PROJECT_VERSION}; add an entry for it")
endif()

# Man pages and the changelog are gzipped at build time (-n: no name or time stamp inside, so the
# package is reproducible); without gzip they are installed as they are.
find_program(MIREL_GZIP gzip)
set(mirel_compressed)
# mirel_install_compressed(SOURCE COPY DESTINATION): installs SOURCE, by way of COPY.gz.
function(mirel_install_compressed source copy destination)
  if(NOT MIREL_GZIP)
    install(FILES ${source} DESTINATION ${destination})
    return()
  endif()
  get_filename_component(name ${copy} NAME)
  add_custom_command(
    OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${MIREL_GZIP} -9nf ${copy}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  install(FILES ${copy}.gz DESTINATION ${destination})
  set(mirel_compressed ${mirel_compressed} ${copy}.gz PARENT_SCOPE)
endfunction()

# Man pages carry the version of project(VERSION): each is made from its .in file.
foreach(page IN LISTS mirel_man_pages)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/man-source/${page})
  configure_file(${MIREL_PACKAGING_DIR}/${page}.in ${source} @ONLY)
  mirel_install_compressed(${source} ${CMAKE_CURRENT_BINARY_DIR}/man/${page} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
mirel_install_compressed(${CMAKE_CURRENT_BINARY_DIR}/doc/changelog ${CMAKE_CURRENT_BINARY_DIR}/doc-gz/changelog
                         ${MIREL_DOCDIR})
add_custom_target(mirel_docs ALL DEPENDS ${mirel_compressed})
add_custom_target(mirel_programs)
add_dependencies(mirel_programs ${mirel_programs} mirel_docs)

if(MIREL_BUILD_GUI)
  install(FILES ${MIREL_PACKAGING_DIR}/mirel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # The hicolor icon theme: the sizes drawn or rendered in forms/images, and the drawing itself.
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/forms/images/mirel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME mirel.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/forms/images/mirel.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # AppStream metadata, so that software centres list the program.
  set(metainfo example.corvane.mirel.metainfo.xml)
  configure_file(${MIREL_PACKAGING_DIR}/${metainfo}.in ${CMAKE_CURRENT_BINARY_DIR}/${metainfo} @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirel)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "${MIREL_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hide messages and files in pictures")
if(MIREL_BUILD_GUI)
  set(mirel_contents "The package holds the desktop program mirel and the command-line tool"
                     "mirel-cli for scripts and machines without a display.")
else()
  set(mirel_contents "The package holds the command-line tool mirel-cli.")
endif()
# The long description, wrapped by hand: dpkg shows its lines as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Mirel hides a message or a whole file in the least significant bits of a"
  "picture's pixels and writes a new picture, a BMP or a PNG, that looks the"
  "same to the eye. Carriers may be BMP, PNG, JPEG, GIF and the other formats"
  "Qt reads. Decoding the new picture gives the message or the file back. The"
  "data can be enciphered with a password (RC4, which is no strong protection),"
  "or sealed with one (Argon2id and XChaCha20-Poly1305, so that a wrong password"
  "is known for certain), and can start at an offset inside the picture."
  ""
  ${mirel_contents})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME mirel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${MIREL_HOMEPAGE}")
# The Qt libraries come from dpkg-shlibdeps; the desktop program also needs the platform plugins
# at run time, which no library dependency pulls in: xcb for X11, wayland for Wayland sessions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(MIREL_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
endif()

include(CPack)
