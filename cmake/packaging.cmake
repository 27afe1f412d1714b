# The release packages, made by CPack (scripts/package): from the mingw build a zip for Windows users, from the
# native build a Debian package with the command line. Each package installs one component of its own, so
# nothing from the tests (the virtual MIDI interface, test binaries) ever gets into one.
#
# `cpack` does not build: scripts/package builds the target su_release (everything that ships) first, so that
# making a package never waits for the tests and benchmarks of the same build folder.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(su_release)

set(CPACK_PACKAGE_NAME SongUploader)
set(CPACK_PACKAGE_VENDOR "The SongUploader developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sends Standard MIDI Files to an electronic keyboard over USB-MIDI")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)

if(SU_WINDOWS)
  # SongUploader-<version>-win64.zip: one folder holding the program, its converter DLL, the console build,
  # a read-me and the licence (both with Windows line ends, for the simplest text editors).
  set(SU_RELEASE_DOCS ${PROJECT_BINARY_DIR}/release)
  configure_file(${PROJECT_SOURCE_DIR}/docs/windows-readme.txt ${SU_RELEASE_DOCS}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${SU_RELEASE_DOCS}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS SongUploader songuploader_console RUNTIME DESTINATION . COMPONENT windows)
  # The DLL alone, without its import library.
  install(FILES $<TARGET_FILE:sqfconv2> DESTINATION . COMPONENT windows)
  install(FILES ${SU_RELEASE_DOCS}/README.txt ${SU_RELEASE_DOCS}/LICENSE.txt DESTINATION . COMPONENT windows)
  add_dependencies(su_release SongUploader songuploader_console sqfconv2)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME SongUploader-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};SongUploader;windows;/")
elseif(TARGET songuploader AND TARGET keyboard_player)
  # songuploader_<version>_<arch>.deb: the command line, the keyboard player (installed under a name of our
  # own, not the generic one of the build), the demo keyboards it reads, the man page and the licence.
  set(SU_MAN_PAGE ${PROJECT_BINARY_DIR}/release/songuploader.1)
  set(VERSION ${PROJECT_VERSION})
  configure_file(${PROJECT_SOURCE_DIR}/docs/songuploader.1 ${SU_MAN_PAGE} @ONLY)
  add_custom_command(OUTPUT ${SU_MAN_PAGE}.gz
    COMMAND gzip -9nf -k ${SU_MAN_PAGE}
    DEPENDS ${SU_MAN_PAGE}
    COMMENT "Compressing the songuploader man page")
  add_custom_target(su_man_page DEPENDS ${SU_MAN_PAGE}.gz)

  include(GNUInstallDirs)
  install(TARGETS songuploader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
  install(PROGRAMS $<TARGET_FILE:keyboard_player> DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME songuploader-keyboard-player COMPONENT cli)
  # The renamed copy is stripped like the targets when the package asks for it.
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\"
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/songuploader-keyboard-player\")
  endif()" COMPONENT cli)
  install(FILES ${SU_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
  # bash completion, where bash-completion loads it on first use of the command.
  install(FILES ${PROJECT_SOURCE_DIR}/cli/posix/songuploader.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME songuploader COMPONENT cli)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/virtual_midi/demo.cfg ${PROJECT_SOURCE_DIR}/tools/virtual_midi/demo_a.cfg
          ${PROJECT_SOURCE_DIR}/tools/virtual_midi/demo_b.cfg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/songuploader COMPONENT cli)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/songuploader
          RENAME copyright COMPONENT cli)
  add_dependencies(su_release songuploader keyboard_player su_man_page)

  set(CPACK_GENERATOR DEB)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};SongUploader;cli;/")
  set(CPACK_DEBIAN_PACKAGE_NAME songuploader)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The SongUploader developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  # The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the text below it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "songuploader converts a Standard MIDI File into the keyboard's own song format and sends it into a song
slot of the keyboard; it lists the keyboard's slots, deletes songs and writes song files.
songuploader-keyboard-player puts a virtual keyboard behind a pair of MIDI ports to try it without one.")
  # The libraries it needs are read off the binaries by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS jackd2)
endif()

include(CPack)
