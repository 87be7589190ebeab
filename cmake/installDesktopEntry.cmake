# Runs at install time (see data/CMakeLists.txt): writes the desktop entry with the absolute path
# of the installed program, installs it, and after a direct install (no DESTDIR, so not a package
# being staged) refreshes the file-type and desktop databases of the target folder, when the tools
# are there, so that a double-click finds Tolvarn at once. A package leaves that to the system's
# triggers.
foreach(variable BINDIR DATADIR)
  if(IS_ABSOLUTE "${TOLVARN_${variable}}")
    set(${variable} "${TOLVARN_${variable}}")
  else()
    set(${variable} "${CMAKE_INSTALL_PREFIX}/${TOLVARN_${variable}}")
  endif()
endforeach()

# A path with blanks or special characters is quoted as desktop entries want it: inside double
# quotes, a backslash before ", `, $ and \, and every backslash doubled once more for the file's
# own string escapes; % is doubled as the field codes demand.
set(TOLVARN_EXEC "${BINDIR}/tolvarn")
if(TOLVARN_EXEC MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`=%]")
  string(REPLACE "\\" "\\\\" TOLVARN_EXEC "${TOLVARN_EXEC}")
  string(REGEX REPLACE "([\"`$])" "\\\\\\1" TOLVARN_EXEC "${TOLVARN_EXEC}")
  string(REPLACE "\\" "\\\\" TOLVARN_EXEC "${TOLVARN_EXEC}")
  string(REPLACE "%" "%%" TOLVARN_EXEC "${TOLVARN_EXEC}")
  set(TOLVARN_EXEC "\"${TOLVARN_EXEC}\"")
endif()
configure_file("${TOLVARN_DESKTOP_TEMPLATE}" "${TOLVARN_DESKTOP_FILE}" @ONLY)
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE FILES "${TOLVARN_DESKTOP_FILE}")

if("$ENV{DESTDIR}" STREQUAL "" AND NOT CPACK_GENERATOR)
  find_program(TOLVARN_UPDATE_MIME update-mime-database)
  find_program(TOLVARN_UPDATE_DESKTOP update-desktop-database)
  if(TOLVARN_UPDATE_MIME)
    message(STATUS "Updating the file types in ${DATADIR}/mime")
    execute_process(COMMAND "${TOLVARN_UPDATE_MIME}" "${DATADIR}/mime")
  endif()
  if(TOLVARN_UPDATE_DESKTOP)
    message(STATUS "Updating the desktop entries in ${DATADIR}/applications")
    execute_process(COMMAND "${TOLVARN_UPDATE_DESKTOP}" "${DATADIR}/applications")
  endif()
endif()
