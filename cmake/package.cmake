# The Debian package: "scripts/package" (or "cpack -G DEB" in a build configured with
# CMAKE_INSTALL_PREFIX=/usr) makes build/package/tolvarn_<version>-1_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tolvarn developers <tolvarn@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "run MS-DOS programs in DOSBox with one command or double-click")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvarn runs an MS-DOS program (an .EXE, .COM or .BAT file) inside the DOSBox emulator with
one command or one double-click. It finds DOSBox and remembers where it lives, mounts the
program's folder as drive C:, can mount a CD image or a CD folder as a further drive, starts
DOS/4G programs through the DOS32A extender, and runs DOSBox full screen or in a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Staged with DESTDIR, so that the installed paths (the desktop entry's Exec) are the final ones.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dosbox | dosbox-x, zenity")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compressManual.cmake)
include(CPack)
