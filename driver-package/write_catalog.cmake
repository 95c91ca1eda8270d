# Writes the stand-in for a signed driver catalogue: a text that says what it is and lists the
# SHA-256 of each file the catalogue covers, so the stand-in changes whenever a covered file does.
# cmake -DCATALOG=<out.cat> -DCOVERED=<file|file|...> -DTITLE=<line> -P write_catalog.cmake
# ("|" separates the files: a ";" would split the argument on the way here)
foreach(var CATALOG COVERED TITLE)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "write_catalog: ${var} is not given")
  endif()
endforeach()
string(REPLACE "|" ";" COVERED "${COVERED}")

set(text "; ${TITLE}\r\n")
string(APPEND text "; Stand-in: this file is not signed and Windows does not read it as a catalogue.\r\n")
string(APPEND text "; A release signs the package and replaces it. SHA-256 of the files it covers:\r\n")
foreach(file IN LISTS COVERED)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "write_catalog: ${file} does not exist")
  endif()
  get_filename_component(name "${file}" NAME)
  file(SHA256 "${file}" hash)
  string(APPEND text "${name} ${hash}\r\n")
endforeach()

# Written beside and then renamed, so an interrupted build never leaves half a catalogue.
file(WRITE "${CATALOG}.tmp" "${text}")
file(RENAME "${CATALOG}.tmp" "${CATALOG}")
