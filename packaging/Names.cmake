# The names the packaging shares with the program, each taken from its one
# home: the window's title (the menu and Start-menu entries carry it) from the
# operator texts, and the last port number (Wine's COM links under test) from
# the port directory. The records folder, where the launchers start the
# program, is the packaging's own.
function(pulse_read_constant variable file regex)
  file(READ ${PROJECT_SOURCE_DIR}/${file} text)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${file} has nothing matching ${regex} (read by packaging/Names.cmake)")
  endif()
  set(${variable} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  # Configured again when the file changes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${file})
endfunction()

pulse_read_constant(PULSE_WINDOW_TITLE src/app/Texts.h
                    "WindowTitle[ \t\r\n]*=[ \t\r\n]*QStringLiteral\\([ \t\r\n]*\"([^\"]+)\"")
pulse_read_constant(PULSE_LAST_PORT src/link/PortDirectory.h "LastPort[ \t\r\n]*=[ \t\r\n]*([0-9]+);")
set(PULSE_RECORDS_FOLDER "脉搏记录")
